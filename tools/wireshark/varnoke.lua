-- Wireshark dissectors for the links between the Varnoke console and the
-- signature device, for the captures that the console saves ("Save wire
-- capture..." in the log's menu) and for captures of the network:
--   rmlx      RMLX frames on UDP port 24222
--   esdframe  the serial character protocol: on the serial line (the
--             capture's USER0 interface) and in UDP datagrams on port 9101
--   esdtext   bare request and reply texts on TCP port 9101
--   esd       the reply text inside each of them: status bytes and data
-- Ports are preferences; every protocol can be chosen in "Decode As".
-- Each request points at its reply (<proto>.response_in) and each reply at
-- its request (<proto>.request_in) with the response time (<proto>.time);
-- a reply slower than a preference and a request without a reply get
-- expert info. A request learns its reply on a second pass: Wireshark makes
-- one when a packet is shown, tshark with -2.
-- Load it with `wireshark -X lua_script:varnoke.lua`, or copy it into the
-- personal Lua plugins folder (~/.local/lib/wireshark/plugins/).

-- BEGIN TABLES GENERATED FROM THE CONSOLE
-- Written by the build target update_wireshark_lua; do not edit.
-- Device error codes: name and description.
local device_errors = {
    [0x00] = { "OK", "" },
    [0x01] = { "NUMFIELDS", "Command expects more fields" },
    [0x02] = { "FIELDLONG", "A field passed is longer than expected" },
    [0x03] = { "FIELDSMALL", "A field passed is smaller than expected" },
    [0x04] = { "FIELDSIZE", "A field has not the required fixed length" },
    [0x05] = { "FIELDCHECK", "A field is of incorrect format or range" },
    [0x06] = { "BADREQ", "The request code is unsupported" },
    [0x07] = { "FISCRECNO", "The fiscal record number does not exist" },
    [0x08] = { "FISCFILEERR", "The fiscal file specified is invalid" },
    [0x09] = { "PRNTYPE", "The printing style is unsupported" },
    [0x0A] = { "DAYOPEN", "Cannot execute command when day is open" },
    [0x0B] = { "NOJUMPER", "Setting the RTC requires clock jumper" },
    [0x0C] = { "RTCDATA", "Specified date or time is invalid" },
    [0x0D] = { "NORECORDS", "No records in specified period" },
    [0x0E] = { "BUSY", "The device is busy in another task" },
    [0x0F] = { "NOMOREHEADERS", "The device cannot hold more header sets" },
    [0x10] = { "INPROGRESS", "A signature is already in progress" },
    [0x11] = { "NOTOPEN", "A signature block must be open to execute" },
    [0x12] = { "SIGNDATAERR", "Data passed for signinig are of bad format" },
    [0x13] = { "SIGNERR", "Signature passed has incorrect format" },
    [0x14] = { "NEEDZ", "The maximum period between Z's is reached" },
    [0x15] = { "ZNOTFOUND", "The Z requested does not exist" },
    [0x16] = { "ZRECORDBAD", "The requested Z record is bad (unreadable)" },
    [0x17] = { "INTOMENU", "Busy; operator is using the device menu" },
    [0x18] = { "DAYLIMIT", "Reached max number of signatures in a day" },
    [0x19] = { "PAPEREND", "Cannot execute; device needs paper roll" },
    [0x1A] = { "PRINTEROFFLINE", "Cannot execute; printer is disconnected" },
    [0x1B] = { "FISCALOFFLINE", "Cannot execute; fiscal unit is offline" },
    [0x1C] = { "FATALERR", "Cannot execute due to hardware fatal error" },
    [0x1D] = { "FISCALFULL", "Fiscal unit is full; only fiscal reports allowed" },
    [0x1E] = { "NODATA", "No data passed for signature" },
    [0x1F] = { "NOSIGNATURE", "Invalid signature number requested" },
    [0x20] = { "BATTERYBAD", "Battery problem; cannot continue" },
    [0x21] = { "RECOVEROPEN", "Cannot execute, recovery in progress" },
    [0x22] = { "NORESET", "Cannot start recovery; CMOS not cleared" },
    [0x23] = { "RTCERROR", "RTC error; needs reprogramming" },
    [0x24] = { "DATEWARNING", "Clock check warning" },
    [0x25] = { "BADCHARINSTREAM", "Invalid character in stream" },
    [0x80] = { "ZERO_Z_ALERT", "Zero 'z' Detected" },
}
-- The status bits by the captions of the console's status panel.
local device_status_bits = {
    { 0x80, "bat" },
    { 0x40, "fcon" },
    { 0x20, "user" },
    { 0x10, "pcon" },
    { 0x08, "cmos" },
    { 0x04, "pend" },
    { 0x02, "fatal" },
    { 0x01, "busy" },
}
local function_status_bits = {
    { 0x80, "ffull" },
    { 0x40, "dfull" },
    { 0x20, "fwarn" },
    { 0x08, "rcvr" },
    { 0x04, "sip" },
    { 0x02, "day" },
}
-- END TABLES GENERATED FROM THE CONSOLE

local opcode_names = {
    [0x00] = "QRY", [0x01] = "ACT", [0x10] = "RST", [0x11] = "SYN",
    [0x12] = "ACK", [0x13] = "NAK", [0x21] = "REQ", [0x22] = "REP",
}
local op_req, op_rep = 0x21, 0x22
local id_console, id_device = 0xE18F, 0x7A2D

-- Control bytes of the serial line (NAK 0x15) and of the plain UDP link
-- (NAK 0x16, resynchronise 0x10).
local control_names = {
    [0x02] = "STX", [0x03] = "ETX", [0x05] = "ENQ", [0x06] = "ACK",
    [0x10] = "RESYNC", [0x15] = "NAK", [0x16] = "NAK", [0x18] = "CAN",
}
local stx, etx, enq = 0x02, 0x03, 0x05

-- Which way a packet went: true from the device, false from the console,
-- nil when neither the capture nor the ports tell.
local function from_device(pinfo, port)
    if pinfo.src_port == port and pinfo.dst_port ~= port then return true end
    if pinfo.dst_port == port and pinfo.src_port ~= port then return false end
    if pinfo.p2p_dir == 1 then return true end
    if pinfo.p2p_dir == 0 then return false end
    return nil
end

local function looks_like_reply(text)
    return text:match("^%x%x.%x%x.%x%x") ~= nil
end

-- A text as the console's log shows it: control characters as ".", at most
-- 120 characters and "...".
local function shown(text)
    if #text > 120 then text = text:sub(1, 120) .. "..." end
    return (text:gsub("[%z\1-\31]", "."))
end

----------------------------------------------------------------------------
-- The reply text: error code, device status, function status, data.

local esd = Proto("esd", "ESD reply text")
local error_names = {}
for code, row in pairs(device_errors) do error_names[code] = row[1] end
local esd_fields = {
    error_code = ProtoField.uint8("esd.error_code", "Error code", base.HEX, error_names),
    device_status = ProtoField.uint8("esd.device_status", "Device status", base.HEX),
    function_status = ProtoField.uint8("esd.function_status", "Function status", base.HEX),
    data = ProtoField.string("esd.data", "Data"),
}
local function bit_fields(prefix, bits)
    local fields = {}
    for _, bit in ipairs(bits) do
        local field = ProtoField.bool(prefix .. "." .. bit[2], bit[2], 8, nil, bit[1])
        fields[#fields + 1] = field
        esd_fields[prefix .. "." .. bit[2]] = field
    end
    return fields
end
local device_bit_fields = bit_fields("esd.device_status", device_status_bits)
local function_bit_fields = bit_fields("esd.function_status", function_status_bits)
esd.fields = esd_fields
local esd_experts = {
    device_error = ProtoExpert.new("esd.error_code.device_error", "Device error",
                                   expert.group.RESPONSE_CODE, expert.severity.WARN),
    bad_status = ProtoExpert.new("esd.status.bad", "Status fields malformed",
                                 expert.group.MALFORMED, expert.severity.WARN),
}
esd.experts = esd_experts

-- Two hexadecimal digits at offset of the range, or nil.
local function hex_byte(range, offset)
    local digits = range:raw(offset, 2)
    if digits:match("^%x%x$") then return tonumber(digits, 16) end
    return nil
end

local function add_status(tree, range, offset, field, bits, name)
    local value = hex_byte(range, offset)
    local item = tree:add(field, range(offset, 2), value or 0xFF)
    if value == nil then
        item:add_proto_expert_info(esd_experts.bad_status, name .. " is not two hexadecimal digits")
        return
    end
    for _, bit in ipairs(bits) do item:add(bit, range(offset, 2), value) end
end

-- The reply text in range, added to tree.
local function add_reply(range, tree)
    local t = tree:add(esd, range)
    if range:len() < 8 then
        t:add_proto_expert_info(esd_experts.bad_status, "Reply shorter than its three status fields")
        return
    end
    local code = hex_byte(range, 0)
    local item = t:add(esd_fields.error_code, range(0, 2), code or 0xFF)
    if code == nil then
        item:add_proto_expert_info(esd_experts.bad_status, "Error code is not two hexadecimal digits")
    elseif code ~= 0 then
        local row = device_errors[code]
        local text = row and string.format("Device error 0x%02X: %s (%s)", code, row[1], row[2])
                     or string.format("Unknown device error 0x%02X", code)
        item:add_proto_expert_info(esd_experts.device_error, text)
    end
    add_status(t, range, 3, esd_fields.device_status, device_bit_fields, "Device status")
    add_status(t, range, 6, esd_fields.function_status, function_bit_fields, "Function status")
    if range:len() > 9 then t:add(esd_fields.data, range(9)) end
end

----------------------------------------------------------------------------
-- Requests and their replies. The first pass over a capture, in order,
-- pairs them; a packet's pairs are kept for the later passes, which can
-- then also give each request its reply and tell of one that got none.

-- The tracking's fields, expert info and preference, added to a
-- protocol's own before they are registered.
local function tracking(proto, name, fields, experts)
    fields.response_in = ProtoField.framenum(name .. ".response_in", "Response in", base.NONE,
                                             frametype.RESPONSE, nil,
                                             "The frame of this request's reply")
    fields.request_in = ProtoField.framenum(name .. ".request_in", "Request in", base.NONE,
                                            frametype.REQUEST, nil,
                                            "The frame of this reply's request")
    -- A datagram's time is its last byte's when it comes in, its first's
    -- when it goes out; a serial packet's, its first byte's.
    fields.time = ProtoField.relative_time(name .. ".time", "Response time",
                                           "From the request's packet to this reply's")
    experts.slow = ProtoExpert.new(name .. ".time.slow", "Slow reply", expert.group.SEQUENCE,
                                   expert.severity.NOTE)
    experts.unanswered = ProtoExpert.new(name .. ".response_in.none", "Request without a reply",
                                         expert.group.SEQUENCE, expert.severity.WARN)
    proto.prefs.slow_reply = Pref.uint("Slow reply (ms)", 500,
                                       "A reply that takes longer gets an expert note")
    return { proto = proto, fields = fields, experts = experts, marks = {}, conversations = {} }
end

local function reset_tracking(tracker)
    tracker.marks = {}
    tracker.conversations = {}
end

-- The state of the conversation between a console and a device; on the
-- serial line there is one.
local function conversation(tracker, pinfo, from_device_side)
    local console = tostring(pinfo.src) .. ":" .. pinfo.src_port
    local device = tostring(pinfo.dst) .. ":" .. pinfo.dst_port
    if from_device_side then console, device = device, console end
    local key = console .. ">" .. device
    local c = tracker.conversations[key]
    if c == nil then
        c = { open = {}, queue = {}, first = 1, last = 0 }
        tracker.conversations[key] = c
    end
    return c
end

-- The packet's n-th mark: made by make() on the first pass, the same on
-- later passes; false where make() paired nothing.
local function mark(tracker, pinfo, n, make)
    local list = tracker.marks[pinfo.number]
    if list == nil then
        list = {}
        tracker.marks[pinfo.number] = list
    end
    if list[n] == nil and not pinfo.visited then list[n] = make() or false end
    return list[n]
end

-- A request's mark: a transaction of its own. Times are seconds since the
-- capture's first packet, small enough for a number to keep nanoseconds.
local function opened(pinfo)
    return { transaction = { request = pinfo.number, start = pinfo.rel_ts } }
end

-- A reply's mark: its transaction, whose first reply it may be, and the time.
local function replied(transaction, pinfo)
    if transaction.reply == nil then transaction.reply = pinfo.number end
    local seconds = pinfo.rel_ts - transaction.start
    local whole = math.floor(seconds)
    local nanoseconds = math.floor((seconds - whole) * 1e9 + 0.5)
    if nanoseconds >= 1e9 then whole, nanoseconds = whole + 1, nanoseconds - 1e9 end
    local time = NSTime.new(whole, nanoseconds)
    return { transaction = transaction, time = time }
end

local function milliseconds(time)
    return time.secs * 1000 + time.nsecs / 1e6
end

-- The mark's fields under tree.
local function show_mark(tracker, m, tree, pinfo)
    if not m then return end
    local t = m.transaction
    if m.time == nil then
        if t.reply ~= nil then
            tree:add(tracker.fields.response_in, t.reply):set_generated()
        elseif pinfo.visited then
            tree:add_proto_expert_info(tracker.experts.unanswered,
                                       "No reply to this request in the capture")
        end
        return
    end
    tree:add(tracker.fields.request_in, t.request):set_generated()
    local item = tree:add(tracker.fields.time, m.time)
    item:set_generated()
    local ms = milliseconds(m.time)
    if ms > tracker.proto.prefs.slow_reply then
        item:add_proto_expert_info(tracker.experts.slow, string.format(
            "Reply after %.0f ms (slow: over %u ms)", ms, tracker.proto.prefs.slow_reply))
    end
end

-- Registration on a port that a preference can move.
local registered = {}
local function register(table_name, proto, port)
    local dissectors = DissectorTable.get(table_name)
    local key = table_name .. proto.name
    if registered[key] then dissectors:remove(registered[key], proto) end
    dissectors:add(port, proto)
    registered[key] = port
end

----------------------------------------------------------------------------
-- RMLX: a 12-byte header, little-endian, and the text.

local rmlx = Proto("rmlx", "RMLX device protocol")
local rmlx_fields = {
    id = ProtoField.uint16("rmlx.id", "Id", base.HEX),
    fsn = ProtoField.uint16("rmlx.fsn", "Frame sequence number", base.HEX),
    opcode = ProtoField.uint8("rmlx.opcode", "Opcode", base.HEX, opcode_names),
    reserved = ProtoField.uint8("rmlx.reserved", "Reserved", base.HEX),
    length = ProtoField.uint16("rmlx.length", "Length", base.DEC),
    data_checksum = ProtoField.uint16("rmlx.data_checksum", "Data checksum", base.HEX),
    header_checksum = ProtoField.uint16("rmlx.header_checksum", "Header checksum", base.HEX),
    text = ProtoField.string("rmlx.text", "Text"),
}
local rmlx_experts = {
    header_checksum = ProtoExpert.new("rmlx.header_checksum.bad", "Bad header checksum",
                                      expert.group.CHECKSUM, expert.severity.ERROR),
    data_checksum = ProtoExpert.new("rmlx.data_checksum.bad", "Bad data checksum",
                                    expert.group.CHECKSUM, expert.severity.ERROR),
    length = ProtoExpert.new("rmlx.length.bad", "Wrong length", expert.group.MALFORMED,
                             expert.severity.ERROR),
    id = ProtoExpert.new("rmlx.id.bad", "Wrong id", expert.group.MALFORMED, expert.severity.ERROR),
}
local rmlx_tracking = tracking(rmlx, "rmlx", rmlx_fields, rmlx_experts)
rmlx.fields = rmlx_fields
rmlx.experts = rmlx_experts
rmlx.prefs.port = Pref.uint("UDP port", 24222, "The device's UDP port for RMLX frames")

-- 0xAA55 plus every byte, modulo 65536.
local function rmlx_sum(range)
    local sum = 0xAA55
    local bytes = range:bytes()
    for i = 0, bytes:len() - 1 do sum = sum + bytes:get_index(i) end
    return sum % 65536
end

function rmlx.dissector(tvb, pinfo, tree)
    pinfo.cols.protocol = "RMLX"
    local t = tree:add(rmlx, tvb())
    local size = tvb:reported_length_remaining()
    if size < 12 then
        t:add_proto_expert_info(rmlx_experts.length,
                                string.format("Datagram of %u bytes, shorter than a header", size))
        pinfo.cols.info:set(string.format("RMLX datagram of %u bytes", size))
        return size
    end
    if tvb:len() < 12 then
        pinfo.cols.info:set("RMLX (header not captured)")
        return size
    end
    local id = tvb(0, 2):le_uint()
    local fsn = tvb(2, 2):le_uint()
    local opcode = tvb(4, 1):uint()
    local length = tvb(6, 2):le_uint()
    local data_sum = tvb(8, 2):le_uint()
    local header_sum = tvb(10, 2):le_uint()

    local id_item = t:add_le(rmlx_fields.id, tvb(0, 2))
    local expected_id = nil
    local device = from_device(pinfo, rmlx.prefs.port)
    if device ~= nil then expected_id = device and id_device or id_console end
    if expected_id and id ~= expected_id or id ~= id_console and id ~= id_device then
        id_item:add_proto_expert_info(rmlx_experts.id, string.format("Id 0x%04X (expected 0x%04X)",
                                      id, expected_id or id_device))
    end
    t:add_le(rmlx_fields.fsn, tvb(2, 2))
    t:add(rmlx_fields.opcode, tvb(4, 1))
    t:add(rmlx_fields.reserved, tvb(5, 1))
    local length_item = t:add_le(rmlx_fields.length, tvb(6, 2))
    if length ~= size - 12 then
        length_item:add_proto_expert_info(rmlx_experts.length, string.format(
            "Length %u, but the datagram carries %u data bytes", length, size - 12))
    end
    local captured = math.min(length, tvb:len() - 12)
    local data_item = t:add_le(rmlx_fields.data_checksum, tvb(8, 2))
    if length > 0 and captured == length then
        local expected = rmlx_sum(tvb(12, length))
        if data_sum ~= expected then
            data_item:add_proto_expert_info(rmlx_experts.data_checksum, string.format(
                "Data checksum 0x%04X wrong (expected 0x%04X)", data_sum, expected))
        end
    end
    local header_item = t:add_le(rmlx_fields.header_checksum, tvb(10, 2))
    local expected = rmlx_sum(tvb(0, 10))
    if header_sum ~= expected then
        header_item:add_proto_expert_info(rmlx_experts.header_checksum, string.format(
            "Header checksum 0x%04X wrong (expected 0x%04X)", header_sum, expected))
    end

    -- A REQ and the REP of its fsn; a REQ sent again before the REP came
    -- is the same request.
    local m = false
    if opcode == op_req or opcode == op_rep then
        m = mark(rmlx_tracking, pinfo, 1, function()
            local c = conversation(rmlx_tracking, pinfo, opcode == op_rep)
            local t = c.open[fsn]
            if opcode == op_rep then return t and replied(t, pinfo) end
            if t ~= nil and t.reply == nil then return { transaction = t } end
            local opening = opened(pinfo)
            c.open[fsn] = opening.transaction
            return opening
        end)
    end
    show_mark(rmlx_tracking, m, t, pinfo)

    local info = string.format("%s fsn=0x%04X", opcode_names[opcode] or "???", fsn)
    if captured > 0 then
        local text = tvb(12, captured)
        t:add(rmlx_fields.text, text)
        if opcode == op_rep and captured == length then add_reply(text, t) end
        info = info .. " " .. shown(text:raw())
    end
    pinfo.cols.info:set(info)
    return size
end

----------------------------------------------------------------------------
-- The serial character protocol: control bytes, and frames of STX, text,
-- "/", two decimal digits of checksum, ETX.

local esdframe = Proto("esdframe", "ESD serial protocol")
local esdframe_fields = {
    control = ProtoField.uint8("esdframe.control", "Control", base.HEX, control_names),
    frame = ProtoField.bytes("esdframe.frame", "Frame"),
    text = ProtoField.string("esdframe.text", "Text"),
    checksum = ProtoField.uint8("esdframe.checksum", "Checksum", base.DEC),
}
local esdframe_experts = {
    checksum = ProtoExpert.new("esdframe.checksum.bad", "Bad checksum", expert.group.CHECKSUM,
                               expert.severity.ERROR),
    short = ProtoExpert.new("esdframe.frame.short", "Frame too short", expert.group.MALFORMED,
                            expert.severity.ERROR),
    unended = ProtoExpert.new("esdframe.frame.unended", "Frame without ETX",
                              expert.group.MALFORMED, expert.severity.WARN),
    unknown = ProtoExpert.new("esdframe.control.unknown", "Byte outside a frame",
                              expert.group.PROTOCOL, expert.severity.WARN),
}
local esdframe_tracking = tracking(esdframe, "esdframe", esdframe_fields, esdframe_experts)
esdframe.fields = esdframe_fields
esdframe.experts = esdframe_experts
esdframe.prefs.udp_port = Pref.uint("UDP port", 9101, "The plain UDP link's port, at both ends")

-- The frame from STX at offset; returns the offset after it, its Info, its
-- tree item and, for a frame with a text, true for a reply, false for a
-- request.
local function dissect_frame(tvb, offset, tree, device)
    local last = tvb:len() - 1
    local finish = nil
    for i = offset + 1, last do
        if tvb(i, 1):uint() == etx then
            finish = i
            break
        end
    end
    local after = finish and finish + 1 or last + 1
    local frame = tvb(offset, after - offset)
    local t = tree:add(esdframe_fields.frame, frame)
    local body = (finish or after) - offset - 1 -- bytes between STX and ETX
    if finish == nil then
        t:add_proto_expert_info(esdframe_experts.unended)
        return after, "frame without ETX"
    end
    if body < 3 then
        t:add_proto_expert_info(esdframe_experts.short, string.format(
            "%u bytes between STX and ETX, no room for separator and checksum", body))
        return after, "short frame"
    end
    local text = tvb(offset + 1, body - 3)
    local digits = tvb(finish - 2, 2):raw()
    t:add(esdframe_fields.text, text, text:raw())
    local received = ((digits:byte(1) - 0x30) * 10 + digits:byte(2) - 0x30) % 256
    local sum = 0
    local summed = tvb(offset + 1, body - 2):bytes() -- the text and its separator
    for i = 0, summed:len() - 1 do sum = (sum + summed:get_index(i)) % 256 end
    local item = t:add(esdframe_fields.checksum, tvb(finish - 2, 2), received)
    if not digits:match("^%d%d$") then
        -- The console refuses it, whatever the digits' bytes add up to.
        item:add_proto_expert_info(esdframe_experts.checksum, string.format(
            "Checksum '%s' is no number (expected %02u)", digits, sum % 100))
    elseif received ~= sum % 100 then
        item:add_proto_expert_info(esdframe_experts.checksum, string.format(
            "Checksum %02u wrong (expected %02u)", received, sum % 100))
    end
    if device == nil then device = looks_like_reply(text:raw()) end
    if device then add_reply(text, t) end
    return after, (device and "REP " or "REQ ") .. shown(text:raw()), t, device
end

-- On the serial line, unlike in a datagram, neither addresses nor ports
-- tell the ends apart.
local function on_serial_line(pinfo)
    local address = tostring(pinfo.net_src)
    return pinfo.src_port == 0 and pinfo.dst_port == 0 and (address == "NONE" or address == "")
end

local interface_name = Field.new("frame.interface_name")

-- The serial line's ends in the Source and Destination columns: the
-- console's port (or "console") and "device"; an arrow begins the Info.
local function line_columns(pinfo, device)
    local name = interface_name()
    local console = name and name.value ~= "" and name.value or "console"
    pinfo.cols.src = device and "device" or console
    pinfo.cols.dst = device and console or "device"
    return device and "\226\134\144 " or "\226\134\146 " -- U+2190, U+2192
end

-- A transaction of the serial protocol, on the line or in UDP datagrams:
-- from the console's ENQ, its request frame (sent again when the device did
-- not take it) and the reply frame (sent again when the console asked).
local function track_frame(pinfo, n, is_reply)
    return mark(esdframe_tracking, pinfo, n, function()
        local c = conversation(esdframe_tracking, pinfo, is_reply)
        local t = c.open.current
        if is_reply then return t and replied(t, pinfo) end
        if t ~= nil and t.reply == nil then return { transaction = t } end
        local opening = opened(pinfo)
        c.open.current = opening.transaction
        return opening
    end)
end

function esdframe.dissector(tvb, pinfo, tree)
    pinfo.cols.protocol = "ESD"
    local t = tree:add(esdframe, tvb())
    local device = from_device(pinfo, esdframe.prefs.udp_port)
    local arrow = ""
    if device ~= nil and on_serial_line(pinfo) then arrow = line_columns(pinfo, device) end
    local info = {}
    local offset = 0
    local frames = 0
    while offset < tvb:len() do
        local byte = tvb(offset, 1):uint()
        local what
        if byte == stx then
            local item, is_reply
            offset, what, item, is_reply = dissect_frame(tvb, offset, t, device)
            if is_reply ~= nil then
                frames = frames + 1
                show_mark(esdframe_tracking, track_frame(pinfo, frames, is_reply), item, pinfo)
            end
        else
            if byte == enq and device ~= true and not pinfo.visited then
                -- The console's enquiry begins the next transaction.
                conversation(esdframe_tracking, pinfo, false).open.current = nil
            end
            local item = t:add(esdframe_fields.control, tvb(offset, 1))
            what = control_names[byte]
            if what == nil then
                what = string.format("0x%02X", byte)
                item:add_proto_expert_info(esdframe_experts.unknown)
            end
            offset = offset + 1
        end
        info[#info + 1] = what
    end
    pinfo.cols.info:set(arrow .. table.concat(info, " "))
    return tvb:len()
end

----------------------------------------------------------------------------
-- Bare texts on the TCP link: a request from the console, a reply (perhaps
-- in pieces) from the device.

local esdtext = Proto("esdtext", "ESD text over TCP")
local esdtext_fields = {
    text = ProtoField.string("esdtext.text", "Text"),
}
local esdtext_experts = {}
local esdtext_tracking = tracking(esdtext, "esdtext", esdtext_fields, esdtext_experts)
esdtext.fields = esdtext_fields
esdtext.experts = esdtext_experts
esdtext.prefs.tcp_port = Pref.uint("TCP port", 9101, "The device's TCP port")

function esdtext.dissector(tvb, pinfo, tree)
    pinfo.cols.protocol = "ESD"
    local t = tree:add(esdtext, tvb())
    local range = tvb()
    local text = range:raw()
    t:add(esdtext_fields.text, range, text)
    local device = from_device(pinfo, esdtext.prefs.tcp_port)
    local status = looks_like_reply(text)
    if device == nil then device = status end
    local kind = "REQ "
    if device and status then
        add_reply(range, t)
        kind = "REP "
    elseif device then
        kind = "REP (continued) "
    end
    -- Replies answer the requests in the order they were sent on the
    -- stream; a reply's later pieces belong to it and take its time further.
    local m = mark(esdtext_tracking, pinfo, 1, function()
        local c = conversation(esdtext_tracking, pinfo, device)
        if not device then
            local opening = opened(pinfo)
            c.last = c.last + 1
            c.queue[c.last] = opening.transaction
            return opening
        end
        if not status then return c.answering and replied(c.answering, pinfo) end
        local t = c.queue[c.first]
        if t == nil then return false end
        c.queue[c.first] = nil
        c.first = c.first + 1
        c.answering = t
        return replied(t, pinfo)
    end)
    show_mark(esdtext_tracking, m, t, pinfo)
    pinfo.cols.info:set(kind .. shown(text))
    return tvb:len()
end

----------------------------------------------------------------------------

local function register_ports()
    register("udp.port", rmlx, rmlx.prefs.port)
    register("udp.port", esdframe, esdframe.prefs.udp_port)
    register("tcp.port", esdtext, esdtext.prefs.tcp_port)
end
rmlx.prefs_changed = register_ports
esdframe.prefs_changed = register_ports
esdtext.prefs_changed = register_ports
register_ports()
function rmlx.init() reset_tracking(rmlx_tracking) end
function esdframe.init() reset_tracking(esdframe_tracking) end
function esdtext.init() reset_tracking(esdtext_tracking) end
DissectorTable.get("wtap_encap"):add(wtap.USER0, esdframe)
