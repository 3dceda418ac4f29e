// "Sign File": the whole content of the file named in the window sent to
// the device as one signature block.
#pragma once

void sign_file();
