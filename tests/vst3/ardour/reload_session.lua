-- Step 2: load the saved session in a fresh process and report the plug-in's setting.
dofile(os.getenv("BRIMO_ARDOUR_DIR") .. "/common.lua")
local dir = os.getenv("BRIMO_SESSION_DIR")
local name = os.getenv("BRIMO_SESSION_NAME")

AudioEngine:set_backend("None (Dummy)", "", "")
local s = load_session(dir, name)
if not s then fail("session", "none") end
ARDOUR.LuaAPI.usleep(500000)  -- loading queues a locate for the butler; let it settle
local route = s:route_by_name("EQ")
if route:isnil() then fail("route", "none") end
local p = route:nth_plugin(1)  -- after the noise source
if p:isnil() then fail("plugin", "none") end
result("plugin", p:to_insert():plugin(0):name())
local index = param_index(p, os.getenv("BRIMO_PARAM_NAME"))
if not index then fail("param", "none") end
result("value", ARDOUR.LuaAPI.get_processor_param(p, index, true))
finish(0)
