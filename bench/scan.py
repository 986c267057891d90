# A program that is one 64 MB comment and one 64 MB string literal, compiled by exec.
s = "x" * 67108864
scope = {}
exec("# " + s + "\nn = len(\"" + s + "\")", scope)
print(scope["n"])
