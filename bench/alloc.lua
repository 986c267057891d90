local keep, sum = {}, 0
for i = 0, 299999 do
    local p = {i, i + 1, {i}}
    sum = sum + p[2] - p[1] + p[3][1] % 2
    if i % 1000 == 0 then keep[#keep + 1] = p end
end
print(sum .. " " .. #keep)
