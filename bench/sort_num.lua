local a = {}
local x = 42
for i = 1, 200000 do x = (x * 16807) % 2147483647; a[i] = x end
table.sort(a)
print(a[1] .. " " .. a[100001] .. " " .. a[200000])
