local f = io.open("/tmp/ruvo-bench-fileio.txt", "w")
for i = 0, 199999 do f:write("line number " .. i .. "\n") end
f:close()
local n, bytes = 0, 0
for line in io.lines("/tmp/ruvo-bench-fileio.txt") do n = n + 1; bytes = bytes + #line + 1 end
os.remove("/tmp/ruvo-bench-fileio.txt")
print(n .. " " .. bytes)
