-- Step 1: a new session on the dummy backend with BRIMO on a track, a non-default setting, a
-- moment of rolling transport, then save. Results go to stdout as "RESULT key value" lines.
local dir = os.getenv("BRIMO_SESSION_DIR")
local name = os.getenv("BRIMO_SESSION_NAME")
local param = tonumber(os.getenv("BRIMO_PARAM_INDEX"))
local value = tonumber(os.getenv("BRIMO_PARAM_VALUE"))

local function result(key, v)
  print("RESULT " .. key .. " " .. tostring(v))
  io.stdout:flush()
end

AudioEngine:set_backend("None (Dummy)", "", "")
local s = create_session(dir, name, 48000)
if not s then result("session", "none") os.exit(1) end
local track = s:new_audio_track(2, 2, nil, 1, "EQ", ARDOUR.PresentationInfo.max_order,
                                ARDOUR.TrackMode.Normal, true):front()
local p = ARDOUR.LuaAPI.new_plugin(s, "BRIMO", ARDOUR.PluginType.VST3, "")
if p:isnil() then result("plugin", "none") os.exit(1) end
track:add_processor_by_index(p, 0, nil, true)
local plugin = p:to_insert():plugin(0)
result("plugin", plugin:name())

-- The parameters Ardour shows, by index, with their names.
for i = 0, plugin:parameter_count() - 1 do
  local _, pd = plugin:get_parameter_descriptor(i, ARDOUR.ParameterDescriptor())
  result("param", i .. " " .. pd[2].label)
end

ARDOUR.LuaAPI.set_processor_param(p, param, value)
p:to_insert():reset_stats()
s:request_roll(ARDOUR.TransportRequestSource.TRS_UI)
ARDOUR.LuaAPI.usleep(1500000)
local ok = p:to_insert():get_stats()
result("processed", ok)
s:request_stop(false, false, ARDOUR.TransportRequestSource.TRS_UI)
ARDOUR.LuaAPI.usleep(200000)
result("value", ARDOUR.LuaAPI.get_processor_param(p, param, true))
result("saved", s:save_state("", false, false, false, false, false))
io.stdout:flush()
os.exit(0)
