local a = {}
local x = 7
for i = 1, 50000 do x = (x * 16807) % 2147483647; a[i] = x % 100000 end
table.sort(a, function(p, q) return p > q end)
print(a[1] .. " " .. a[25001] .. " " .. a[50000])
