-- Lua patterns stand in for regular expressions here
local n, total = 0, 0
for i = 0, 99999 do
    local line = "key" .. (i % 977) .. " = value" .. i .. " ; note"
    if string.find(line, "%l+%d+") then n = n + 1 end
    local t = string.gsub(line, "%d+", "#")
    total = total + #t
end
print(n .. " " .. total)
