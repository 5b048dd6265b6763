print("a")
local x = ;
