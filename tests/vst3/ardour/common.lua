-- Shared by the session steps: result lines for the shell driver and parameter lookup by name.
function result(key, v)
  print("RESULT " .. key .. " " .. tostring(v))
  io.stdout:flush()
end

-- Leaves without Ardour's own session teardown, which is not reliable headless; the engine is
-- stopped first so no audio thread is running while the process exits.
function finish(code)
  io.stdout:flush()
  ARDOUR.LuaAPI.usleep(500000)  -- let the butler finish pending locates first
  AudioEngine:stop(false)
  os.exit(code)
end

function fail(key, v)
  result(key, v)
  finish(1)
end

-- Ardour's index of the plug-in parameter with this name (Ardour keeps the plug-in's program
-- parameter for itself, so indices differ from the plug-in's own).
function param_index(insert, name)
  local plugin = insert:to_insert():plugin(0)
  for i = 0, plugin:parameter_count() - 1 do
    local _, pd = plugin:get_parameter_descriptor(i, ARDOUR.ParameterDescriptor())
    if pd[2].label == name then return i end
  end
  return nil
end
