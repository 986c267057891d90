s = ""
for i in range(500000):
    s += "ab"
print(len(s))
