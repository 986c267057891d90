local parts = {}
for i = 0, 299999 do parts[#parts + 1] = "item" .. i end
local s = table.concat(parts, ",")
local n = 0
for _ in string.gmatch(s, "[^,]+") do n = n + 1 end
print(#s .. " " .. n)
