-- Step 2: load the saved session in a fresh process and report the plug-in's setting.
local dir = os.getenv("BRIMO_SESSION_DIR")
local name = os.getenv("BRIMO_SESSION_NAME")
local param = tonumber(os.getenv("BRIMO_PARAM_INDEX"))

local function result(key, v)
  print("RESULT " .. key .. " " .. tostring(v))
  io.stdout:flush()
end

AudioEngine:set_backend("None (Dummy)", "", "")
local s = load_session(dir, name)
if not s then result("session", "none") os.exit(1) end
local route = s:route_by_name("EQ")
if route:isnil() then result("route", "none") os.exit(1) end
local p = route:nth_plugin(0)
if p:isnil() then result("plugin", "none") os.exit(1) end
result("plugin", p:to_insert():plugin(0):name())
result("value", ARDOUR.LuaAPI.get_processor_param(p, param, true))
io.stdout:flush()
os.exit(0)
