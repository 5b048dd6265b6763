local total = 0
for i = 0, 99999 do
  local s = "item" .. i .. ":" .. (i * 2)
  total = total + #s
end
for i = 0, 49999 do
  local w = "w" .. (i % 100)
  if w:find("9", 1, true) ~= nil then total = total + 1 end
  total = total + #w:sub(2)
end
local joined = ""
for i = 0, 1999 do joined = joined .. ("p" .. i) end
return total + #joined
