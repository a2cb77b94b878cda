-- Step 1: a new session on the dummy backend with a noise source and BRIMO on a track; roll,
-- change one setting while rolling and measure its effect on the track's meter; save.
dofile(os.getenv("BRIMO_ARDOUR_DIR") .. "/common.lua")
local dir = os.getenv("BRIMO_SESSION_DIR")
local name = os.getenv("BRIMO_SESSION_NAME")
local param_name = os.getenv("BRIMO_PARAM_NAME")
local value = tonumber(os.getenv("BRIMO_PARAM_VALUE"))

AudioEngine:set_backend("None (Dummy)", "", "")
local s = create_session(dir, name, 48000)
if not s then fail("session", "none") end
local track = s:new_audio_track(2, 2, nil, 1, "EQ", ARDOUR.PresentationInfo.max_order,
                                ARDOUR.TrackMode.Normal, true):front()
local noise = ARDOUR.LuaAPI.new_luaproc(s, "ACE Noise")
if noise:isnil() then fail("noise", "none") end
local p = ARDOUR.LuaAPI.new_plugin(s, "BRIMO", ARDOUR.PluginType.VST3, "")
if p:isnil() then fail("plugin", "none") end
track:add_processor_by_index(noise, 0, nil, true)
track:add_processor_by_index(p, 1, nil, true)
result("plugin", p:to_insert():plugin(0):name())
local index = param_index(p, param_name)
if not index then fail("param", "none") end
result("param", index)

local function level()
  return track:peak_meter():meter_level(0, ARDOUR.MeterType.MeterPeak)
end
s:request_roll(ARDOUR.TransportRequestSource.TRS_UI)
ARDOUR.LuaAPI.usleep(1000000)
result("level_before", level())
ARDOUR.LuaAPI.set_processor_param(p, index, value)
ARDOUR.LuaAPI.usleep(1000000)
result("level_after", level())
result("processed", (p:to_insert():get_stats(0, 0, 0, 0)))
s:request_stop(false, false, ARDOUR.TransportRequestSource.TRS_UI)
ARDOUR.LuaAPI.usleep(200000)
result("value", ARDOUR.LuaAPI.get_processor_param(p, index, true))
result("saved", s:save_state("", false, false, false, false, false))
finish(0)
