-- Lua strings are immutable; the idiomatic equivalent of repeated appends is a buffer
local b = {}
for i = 1, 500000 do b[#b + 1] = "ab" end
print(#table.concat(b))
