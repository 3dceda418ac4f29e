// The click handlers of the application itself; the dialog procedure
// dispatches to these and to those of signing, batch and logo.
#pragma once

// Connect and Disconnect.
void connect_or_disconnect();

// Command entry and file pickers.
void send_command();
void refresh_status();
void pick_sign_file();
void pick_batch_file();
