-- For the GUI check: a saved session with one stereo track holding BRIMO. Reports the name
-- Ardour gives the plug-in's window in the session's UI state ("P-<route id>-<processor id>").
dofile(os.getenv("BRIMO_ARDOUR_DIR") .. "/common.lua")

AudioEngine:set_backend("None (Dummy)", "", "")
local s = create_session(os.getenv("BRIMO_SESSION_DIR"), os.getenv("BRIMO_SESSION_NAME"), 48000)
if not s then fail("session", "none") end
local track = s:new_audio_track(2, 2, nil, 1, "EQ", ARDOUR.PresentationInfo.max_order,
                                ARDOUR.TrackMode.Normal, true):front()
local p = ARDOUR.LuaAPI.new_plugin(s, "BRIMO", ARDOUR.PluginType.VST3, "")
if p:isnil() then fail("plugin", "none") end
track:add_processor_by_index(p, 0, nil, true)
result("window", "P-" .. track:to_stateful():id():to_s() .. "-" .. p:to_stateful():id():to_s())
result("saved", s:save_state("", false, false, false, false, false))
finish(0)
