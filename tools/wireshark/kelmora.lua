-- kelmora.lua: Wireshark dissector for the frames of Kelmora's serial line,
-- captured as pcapng with link type LINKTYPE_USER0 (147): 64-byte command
-- frames to the controller and 32-byte status frames from it, one packet per
-- frame, the direction in each packet's flags.
--
-- Every frame kind is decoded into named fields under "kelmora." that a
-- display filter can use (kelmora.kind == "move_xy", kelmora.status.x > 100,
-- kelmora.status.switch.emergency == 1). A frame this dissector does not know
-- is shown as kind "unknown" with its bytes, never dropped. An outbound packet
-- shorter than a frame is what the line took of a frame the port refused
-- (the console closed the port after it): kind "partial", with a warning.
--
-- Installed by the package into Wireshark's global Lua plugin folder; by hand,
-- copy it into the personal one (tshark -G folders names both), or load it
-- for one run: tshark -X lua_script:kelmora.lua -r capture.pcapng

local kelmora = Proto("kelmora", "Kelmora serial line")

local COMMAND_SIZE = 64
local STATUS_SIZE = 32

local units_names = { [0] = "mm", [1] = "steps" }
local axis_names = { [0] = "x", [1] = "y", [2] = "z", [3] = "c" }

local f = {
    direction = ProtoField.string("kelmora.direction", "Direction"),
    kind = ProtoField.string("kelmora.kind", "Kind"),
    start = ProtoField.uint8("kelmora.start", "Start byte", base.HEX),
    command = ProtoField.uint8("kelmora.command", "Command byte", base.HEX),
    elapsed_ms = ProtoField.int32("kelmora.elapsed_ms", "Milliseconds since the previous status frame"),

    counter = ProtoField.uint8("kelmora.counter", "Counter"),
    units = ProtoField.uint8("kelmora.units", "Units", base.HEX, units_names),
    end_velocity = ProtoField.int32("kelmora.end_velocity", "End velocity (steps/s)"),
    end_velocity_mm = ProtoField.float("kelmora.end_velocity_mm", "End velocity (mm/s)"),
    point_count = ProtoField.uint8("kelmora.point_count", "Point count"),
    point = ProtoField.none("kelmora.point", "Point"),
    point_used = ProtoField.bool("kelmora.point.used", "Within the point count"),
    point_a = ProtoField.int32("kelmora.point.a", "First axis (x or z), steps"),
    point_b = ProtoField.int32("kelmora.point.b", "Second axis (y or c), steps"),
    point_a_mm = ProtoField.float("kelmora.point.a_mm", "First axis (x or z), mm"),
    point_b_mm = ProtoField.float("kelmora.point.b_mm", "Second axis (y or c), mm"),
    ramp_bits = ProtoField.uint8("kelmora.ramp_bits", "Ramp bits", base.HEX),
    reference_constant = ProtoField.uint8("kelmora.reference.constant", "Constant", base.HEX),
    zero_x = ProtoField.int32("kelmora.zero.x", "Zero point x, steps"),
    zero_y = ProtoField.int32("kelmora.zero.y", "Zero point y, steps"),
    zero_z = ProtoField.int32("kelmora.zero.z", "Zero point z, steps"),
    zero_c = ProtoField.int32("kelmora.zero.c", "Zero point c, steps"),
    zero_x_mm = ProtoField.float("kelmora.zero.x_mm", "Zero point x, mm"),
    zero_y_mm = ProtoField.float("kelmora.zero.y_mm", "Zero point y, mm"),
    zero_z_mm = ProtoField.float("kelmora.zero.z_mm", "Zero point z, mm"),
    zero_c_mm = ProtoField.float("kelmora.zero.c_mm", "Zero point c, mm"),
    signals = ProtoField.uint8("kelmora.signals", "Auxiliary signals", base.HEX),
    signals_spindle = ProtoField.bool("kelmora.signals.spindle", "Spindle", 8, nil, 0x01),
    signals_cooling = ProtoField.bool("kelmora.signals.cooling", "Cooling", 8, nil, 0x02),
    target_mode = ProtoField.uint8("kelmora.target_mode", "Target mode"),

    status_mode = ProtoField.uint8("kelmora.status.mode", "Mode"),
    status_switches = ProtoField.uint8("kelmora.status.switches", "End switches and emergency stop", base.HEX),
    status_aux = ProtoField.uint8("kelmora.status.aux", "Auxiliary states", base.HEX),
    status_x = ProtoField.int32("kelmora.status.x", "Position x"),
    status_y = ProtoField.int32("kelmora.status.y", "Position y"),
    status_z = ProtoField.int32("kelmora.status.z", "Position z"),
    status_c = ProtoField.int32("kelmora.status.c", "Position c"),
    status_fill = ProtoField.uint8("kelmora.status.fill_level", "Buffer fill level (%)"),
    status_error = ProtoField.uint8("kelmora.status.error_code", "Error code"),
    status_counter = ProtoField.uint8("kelmora.status.frame_counter", "Frame counter"),

    unknown = ProtoField.bytes("kelmora.unknown", "Frame not understood"),
    partial = ProtoField.bytes("kelmora.partial", "Partial frame: the bytes the line took"),
}

-- Each step of the reference run, and each named bit, as a field of its own.
f.reference_step = {}
for step = 1, 4 do
    f.reference_step[step] = ProtoField.uint8("kelmora.reference.step" .. step,
        "Step " .. step .. " axis", base.DEC, axis_names)
end
f.ramp_bit = {}
for bit = 0, 7 do
    f.ramp_bit[bit] = ProtoField.bool("kelmora.ramp_bits.bit" .. bit, "Ramp bit " .. bit, 8, nil,
        2 ^ bit)
end
local switch_names = { "end_x", "end_y", "end_z", "end_c", "emergency", "bit5", "bit6", "bit7" }
local switch_titles = { "End X", "End Y", "End Z", "End C", "Emergency", "Bit 5", "Bit 6", "Bit 7" }
local aux_names = { "bit0", "bit1", "bit2", "bit3", "spindle", "cooling", "sleep", "boost" }
local aux_titles = { "Bit 0", "Bit 1", "Bit 2", "Bit 3", "Spindle", "Cooling", "Sleep", "Boost" }
f.switch_bit = {}
f.aux_bit = {}
for bit = 0, 7 do
    f.switch_bit[bit] = ProtoField.bool("kelmora.status.switch." .. switch_names[bit + 1],
        switch_titles[bit + 1], 8, nil, 2 ^ bit)
    f.aux_bit[bit] = ProtoField.bool("kelmora.status.aux." .. aux_names[bit + 1],
        aux_titles[bit + 1], 8, nil, 2 ^ bit)
end

local all_fields = {}
for _, field in pairs(f) do
    if type(field) == "table" then
        for _, inner in pairs(field) do
            all_fields[#all_fields + 1] = inner
        end
    else
        all_fields[#all_fields + 1] = field
    end
end
kelmora.fields = all_fields

local expert_unknown = ProtoExpert.new("kelmora.unknown.expert", "Frame not understood",
    expert.group.UNDECODED, expert.severity.WARN)
local expert_direction = ProtoExpert.new("kelmora.direction.expert",
    "No direction in the packet's flags: taken from its length",
    expert.group.ASSUMPTION, expert.severity.NOTE)
local expert_partial = ProtoExpert.new("kelmora.partial.expert",
    "Partial frame: the line took only these bytes of a command frame; the port was closed " ..
    "after them, and the controller may hold them as the start of a frame",
    expert.group.MALFORMED, expert.severity.WARN)
kelmora.experts = { expert_unknown, expert_direction, expert_partial }

-- The time of every packet, for the milliseconds between status frames.
local frame_time = Field.new("frame.time_epoch")

-- Milliseconds since the previous status frame (for the first one, since
-- the capture's first packet), worked out on the first pass in frame order
-- and kept, as kelmora-history counts them.
local elapsed_of_frame = {}
local first_time = nil
local last_inbound_time = nil

function kelmora.init()
    elapsed_of_frame = {}
    first_time = nil
    last_inbound_time = nil
end

local function elapsed_ms(earlier, later)
    local ms = (later.secs - earlier.secs) * 1000 + (later.nsecs - earlier.nsecs) / 1000000
    if ms >= 0 then ms = math.floor(ms) else ms = math.ceil(ms) end
    if ms > 2147483647 then return 2147483647 end
    if ms < -2147483648 then return -2147483648 end
    return ms
end

local function shortest_float(value)
    if value ~= value then return "nan" end
    local bits = Struct.pack("<f", value)
    for digits = 1, 9 do
        local text = string.format("%." .. digits .. "g", value)
        if Struct.pack("<f", tonumber(text)) == bits then return text end
    end
    return string.format("%.9g", value)
end

-- A coordinate as the units byte says: a single in mm (00), steps otherwise.
-- The item reads "x: 50 steps" or "x: 2.5 mm", the mm value as the shortest
-- text that is the same single (the field itself shows six digits).
local function add_value(tree, tvb, offset, millimetres, steps_field, mm_field, label, per_second)
    local range = tvb(offset, 4)
    local rate = per_second and "/s" or ""
    if millimetres then
        return tree:add_le(mm_field, range):set_text(label .. ": " ..
            shortest_float(range:le_float()) .. " mm" .. rate)
    end
    return tree:add_le(steps_field, range):set_text(label .. ": " .. range:le_int() .. " steps" .. rate)
end

local command_kinds = {
    [0x0000] = "status_request",
    [0x0001] = "mode_change",
    [0x0211] = "move_xy",
    [0x0212] = "move_zc",
    [0x0221] = "aux_signals",
    [0x0231] = "reference_run",
    [0x0241] = "zero_point",
}

local kind_titles = {
    status_request = "Status request",
    mode_change = "Mode change",
    move_xy = "Drive X / Y",
    move_zc = "Drive Z / C",
    aux_signals = "Auxiliary signals",
    reference_run = "Reference run order",
    zero_point = "Set zero point",
    status = "Status",
    partial = "Partial frame",
    unknown = "Unknown frame",
}

local function dissect_move(tvb, tree, kind)
    local millimetres = tvb(7, 1):uint() == 0
    tree:add(f.units, tvb(7, 1))
    add_value(tree, tvb, 2, millimetres, f.end_velocity, f.end_velocity_mm, "End velocity", true)
    local count = tvb(6, 1):uint()
    tree:add(f.point_count, tvb(6, 1))
    local first, second = "x", "y"
    if kind == "move_zc" then first, second = "z", "c" end
    for n = 0, 5 do
        local offset = 8 + 8 * n
        local point = tree:add(f.point, tvb(offset, 8))
        local used = n < count
        point:set_text("Point " .. (n + 1) .. (used and "" or " (unused)"))
        point:add(f.point_used, tvb(offset, 8), used):set_generated()
        add_value(point, tvb, offset, millimetres, f.point_a, f.point_a_mm, first)
        add_value(point, tvb, offset + 4, millimetres, f.point_b, f.point_b_mm, second)
    end
    local ramp = tree:add(f.ramp_bits, tvb(56, 1))
    for bit = 7, 0, -1 do
        ramp:add(f.ramp_bit[bit], tvb(56, 1))
    end
    tree:add(f.counter, tvb(59, 1))
    return count .. " points, counter " .. tvb(59, 1):uint()
end

local function dissect_command(tvb, tree, kind)
    if kind == "move_xy" or kind == "move_zc" then
        return dissect_move(tvb, tree, kind)
    elseif kind == "status_request" then
        tree:add(f.counter, tvb(59, 1))
        return "counter " .. tvb(59, 1):uint()
    elseif kind == "mode_change" then
        tree:add(f.target_mode, tvb(2, 1))
        return "to " .. tvb(2, 1):uint()
    elseif kind == "aux_signals" then
        local signals = tree:add(f.signals, tvb(2, 1))
        signals:add(f.signals_spindle, tvb(2, 1))
        signals:add(f.signals_cooling, tvb(2, 1))
        local bits = tvb(2, 1):uint()
        return "spindle " .. (bits % 2 == 1 and "on" or "off") ..
            ", cooling " .. (math.floor(bits / 2) % 2 == 1 and "on" or "off")
    elseif kind == "reference_run" then
        tree:add(f.reference_constant, tvb(2, 1))
        local order = {}
        for step = 1, 4 do
            tree:add(f.reference_step[step], tvb(2 + step, 1))
            local code = tvb(2 + step, 1):uint()
            order[step] = axis_names[code] or string.format("%02X", code)
        end
        return table.concat(order, ", ")
    elseif kind == "zero_point" then
        local millimetres = tvb(7, 1):uint() == 0
        tree:add(f.units, tvb(7, 1))
        add_value(tree, tvb, 8, millimetres, f.zero_x, f.zero_x_mm, "Zero point x")
        add_value(tree, tvb, 12, millimetres, f.zero_y, f.zero_y_mm, "Zero point y")
        add_value(tree, tvb, 16, millimetres, f.zero_z, f.zero_z_mm, "Zero point z")
        add_value(tree, tvb, 20, millimetres, f.zero_c, f.zero_c_mm, "Zero point c")
        return millimetres and "mm" or "steps"
    end
end

local function dissect_status(tvb, tree)
    tree:add(f.status_mode, tvb(0, 1))
    local switches = tree:add(f.status_switches, tvb(1, 1))
    local aux = tree:add(f.status_aux, tvb(2, 1))
    for bit = 0, 7 do
        switches:add(f.switch_bit[bit], tvb(1, 1))
        aux:add(f.aux_bit[bit], tvb(2, 1))
    end
    tree:add_le(f.status_x, tvb(3, 4))
    tree:add_le(f.status_y, tvb(7, 4))
    tree:add_le(f.status_z, tvb(11, 4))
    tree:add_le(f.status_c, tvb(15, 4))
    tree:add(f.status_fill, tvb(20, 1))
    tree:add(f.status_error, tvb(26, 1))
    tree:add(f.status_counter, tvb(27, 1))
    return string.format("mode %d, x %d, y %d, z %d, c %d, buffer %d %%, error %d, counter %d",
        tvb(0, 1):uint(), tvb(3, 4):le_int(), tvb(7, 4):le_int(), tvb(11, 4):le_int(),
        tvb(15, 4):le_int(), tvb(20, 1):uint(), tvb(26, 1):uint(), tvb(27, 1):uint())
end

function kelmora.dissector(tvb, pinfo, tree)
    local length = tvb:reported_length_remaining()
    pinfo.cols.protocol = "Kelmora"
    local subtree = tree:add(kelmora, tvb())

    -- Direction from the packet's flags (pcapng epb_flags); without them, by
    -- the two lengths the line carries.
    local direction = nil
    local assumed = false
    if pinfo.p2p_dir == P2P_DIR_RECV then
        direction = "in"
    elseif pinfo.p2p_dir == P2P_DIR_SENT then
        direction = "out"
    elseif length == STATUS_SIZE then
        direction, assumed = "in", true
    elseif length == COMMAND_SIZE then
        direction, assumed = "out", true
    end
    local direction_item = subtree:add(f.direction, direction or "unknown")
    direction_item:set_generated()
    if assumed then
        direction_item:add_proto_expert_info(expert_direction)
    end

    local kind = "unknown"
    if direction == "out" and length == COMMAND_SIZE then
        kind = command_kinds[tvb(0, 2):uint()] or "unknown"
    elseif direction == "in" and length == STATUS_SIZE then
        kind = "status"
    elseif direction == "out" and length > 0 and length < COMMAND_SIZE then
        kind = "partial"
    end

    local time = frame_time()
    if time and not pinfo.visited then
        first_time = first_time or time.value
        if kind == "status" then
            elapsed_of_frame[pinfo.number] = elapsed_ms(last_inbound_time or first_time, time.value)
            last_inbound_time = time.value
        end
    end
    subtree:add(f.kind, kind):set_generated()
    if length >= 2 and direction == "out" then
        subtree:add(f.start, tvb(0, 1))
        subtree:add(f.command, tvb(1, 1))
    end

    local summary
    if kind == "partial" then
        subtree:add(f.partial, tvb()):add_proto_expert_info(expert_partial)
        summary = string.format("the line took %d of %d bytes", length, COMMAND_SIZE)
    elseif kind == "unknown" then
        subtree:add(f.unknown, tvb()):add_proto_expert_info(expert_unknown)
        summary = length .. " bytes"
        if length >= 2 then
            summary = string.format("%02X %02X, %s", tvb(0, 1):uint(), tvb(1, 1):uint(), summary)
        end
    elseif kind == "status" then
        local elapsed = elapsed_of_frame[pinfo.number]
        if elapsed then
            subtree:add(f.elapsed_ms, elapsed):set_generated()
        end
        summary = dissect_status(tvb, subtree)
    else
        summary = dissect_command(tvb, subtree, kind)
    end
    local text = (direction == "in" and "IN  " or direction == "out" and "OUT " or "?   ") ..
        kind_titles[kind] .. (summary ~= "" and ": " .. summary or "")
    pinfo.cols.info = text
    subtree:append_text(", " .. text)
    return length
end

DissectorTable.get("wtap_encap"):add(wtap_encaps.USER0, kelmora)
