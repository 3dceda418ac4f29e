// varnoke-cli: the console's operations run from a terminal over the
// window's own handlers. What counts as success for each action:
//
// - Connect: the link opened and the request "v" was answered (a device
//   error in its reply does not fail Connect, as in the window);
// - --send, --status: the request was answered with error code 0;
// - --batch: no line failed (the batch stops at the first one that does);
// - --sign: the transfer reached "Done.";
// - --logo: every row was answered with error code 0 (a refused row does
//   not stop the upload, as in the window);
// - --discover: at least one device answered.
//
// A request that the answer to the Z-report question kept from the device
// (--no, or neither --yes nor --no) counts as refused; a file refused in a
// message box before any request, or a signing that could not read its
// file through, as a usage error.
//
// A failed action ends the run unless --keep-going; the exit status is that
// of the first action that failed.
#pragma once

enum : int {
    cli_exit_ok = 0,
    cli_exit_refused = 1, // the device answered a request with an error code
    cli_exit_link = 2,    // a link failed: no answer, or the link could not be opened
    cli_exit_usage = 64,  // a bad option, or a file that cannot be used
    cli_exit_signal = 128 // + the signal's number
};

int cli_main(int argc, char** argv);
