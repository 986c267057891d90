-- A program that is one 64 MB comment and one 64 MB string literal, loaded from a string.
local s = string.rep("x", 67108864)
print(load("--[[" .. s .. "]] return #\"" .. s .. "\"")())
