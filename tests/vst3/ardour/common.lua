-- Shared by the session steps: result lines for the shell driver and parameter lookup by name.
function result(key, v)
  print("RESULT " .. key .. " " .. tostring(v))
  io.stdout:flush()
end

function fail(key, v)
  result(key, v)
  os.exit(1)
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
