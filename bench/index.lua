local parts = {}
for i = 0, 199999 do parts[#parts + 1] = "w" .. (i * 7919 % 100003) end
local text = table.concat(parts, " ")
local needles = {"w4242 ", "w99999 ", "w1 ", "zz", "w12345 w"}
local found, last = 0, 0
for r = 1, 20 do
    for k = 1, #needles do
        local p = string.find(text, needles[k], 1, true)
        while p do found = found + 1; last = p - 1; p = string.find(text, needles[k], p + 1, true) end
    end
end
print(#text .. " " .. found .. " " .. last)
