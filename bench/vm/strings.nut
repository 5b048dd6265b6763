local total = 0;
for (local i = 0; i < 100000; i++) {
  local s = "item" + i + ":" + (i * 2);
  total += s.len();
}
for (local i = 0; i < 50000; i++) {
  local w = "w" + (i % 100);
  if (w.find("9") != null) total += 1;
  total += w.slice(1).len();
}
local joined = "";
for (local i = 0; i < 2000; i++) joined += "p" + i;
return total + joined.len();
