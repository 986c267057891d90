local vocab = {}
for w in string.gmatch("alpha beta gamma delta epsilon zeta eta theta iota kappa lambda mu nu xi omicron pi rho sigma tau upsilon phi chi psi omega", "%S+") do vocab[#vocab + 1] = w end
local x = 1
local counts = {}
for i = 1, 300000 do
    x = (x * 16807) % 2147483647
    local w = vocab[x % 24 + 1] .. (x % 50)
    counts[w] = (counts[w] or 0) + 1
end
local k = {}
for w in pairs(counts) do k[#k + 1] = w end
table.sort(k)
print(#k .. " " .. counts[k[1]] .. " " .. k[1])
