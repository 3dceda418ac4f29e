// Click and selection handlers that the dialog procedure dispatches to.
#pragma once

// Connect and Disconnect.
void connect_or_disconnect();

// Command entry and file pickers.
void send_command();
void refresh_status();
void pick_sign_file();
void pick_batch_file();

// Longer operations.
void sign_file();
void run_batch();
void upload_logo();
