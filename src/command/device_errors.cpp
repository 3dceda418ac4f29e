#include "command/device_errors.h"

#include <cstddef>

constexpr std::array<DeviceError, 39> device_error_table{{
    {"OK", "", ""},
    {"NUMFIELDS", "Command expects more fields",
     "Pass the correct number of fields in request data"},
    {"FIELDLONG", "A field passed is longer than expected",
     "Fix the length of the field in the request"},
    {"FIELDSMALL", "A field passed is smaller than expected",
     "Fix the length of the field in the request"},
    {"FIELDSIZE", "A field has not the required fixed length",
     "Fix the length of the field in the request"},
    {"FIELDCHECK", "A field is of incorrect format or range", "Fix the field's format or range"},
    {"BADREQ", "The request code is unsupported", "Provide a correct request code"},
    {"FISCRECNO", "The fiscal record number does not exist",
     "Pass an existing fiscal record number"},
    {"FISCFILEERR", "The fiscal file specified is invalid", "Pass a correct fiscal file type"},
    {"PRNTYPE", "The printing style is unsupported", "Provide a correct printing style"},
    {"DAYOPEN", "Cannot execute command when day is open", "Close the day and retry the command"},
    {"NOJUMPER", "Setting the RTC requires clock jumper",
     "Install the jumper and then resend command"},
    {"RTCDATA", "Specified date or time is invalid", "Correct the date/time fields and retry"},
    {"NORECORDS", "No records in specified period", "Not an error; inform user"},
    {"BUSY", "The device is busy in another task", "Wait for the device to be ready and retry"},
    {"NOMOREHEADERS", "The device cannot hold more header sets",
     "No suggested action; header cannot be stored"},
    {"INPROGRESS", "A signature is already in progress", "Close the current block and retry"},
    {"NOTOPEN", "A signature block must be open to execute", "Open a new block and retry"},
    {"SIGNDATAERR", "Data passed for signinig are of bad format",
     "Fix format of data passed for signing"},
    {"SIGNERR", "Signature passed has incorrect format", "Fix format of signature and retry"},
    {"NEEDZ", "The maximum period between Z's is reached", "Issue a Z report and retry"},
    {"ZNOTFOUND", "The Z requested does not exist",
     "Make the Z number in range of existing records"},
    {"ZRECORDBAD", "The requested Z record is bad (unreadable)", "The device needs to be serviced"},
    {"INTOMENU", "Busy; operator is using the device menu",
     "Wait for user to complete the manual operations"},
    {"DAYLIMIT", "Reached max number of signatures in a day", "Issue a Z report and retry"},
    {"PAPEREND", "Cannot execute; device needs paper roll", "Replace the paper roll and retry"},
    {"PRINTEROFFLINE", "Cannot execute; printer is disconnected", "Device needs to be serviced"},
    {"FISCALOFFLINE", "Cannot execute; fiscal unit is offline", "Device needs to be serviced"},
    {"FATALERR", "Cannot execute due to hardware fatal error", "Device needs to be serviced"},
    {"FISCALFULL", "Fiscal unit is full; only fiscal reports allowed",
     "Device need fiscal replacement (service)"},
    {"NODATA", "No data passed for signature", "Pass some data and retry or cancel the block"},
    {"NOSIGNATURE", "Invalid signature number requested", "Correct the signature number and retry"},
    {"BATTERYBAD", "Battery problem; cannot continue", "If problem persists, service is required"},
    {"RECOVEROPEN", "Cannot execute, recovery in progress", "Finish recovery procedure and retry"},
    {"NORESET", "Cannot start recovery; CMOS not cleared",
     "A recovery is not allowed now. Only after CMOS reset"},
    {"RTCERROR", "RTC error; needs reprogramming", "Need service; reprogram the date/time"},
    {"DATEWARNING", "Clock check warning", "Check device's date; if ok, issue Z with error ignore"},
    {"BADCHARINSTREAM", "Invalid character in stream",
     "The application must not send invalid characters for signing"},
    {"ZERO_Z_ALERT", "Zero 'z' Detected", "The application is going to take zero 'Z'."},
}};

const DeviceError* device_error_row(int code) {
    if (code >= 0x01 && code <= 0x25) return &device_error_table[std::size_t(code)];
    if (code == 0x80) return &device_error_table[38];
    return nullptr;
}
