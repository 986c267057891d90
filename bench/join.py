parts = []
for i in range(300000):
    parts.append("item" + str(i))
s = ",".join(parts)
print(len(s), len(s.split(",")))
