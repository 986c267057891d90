import re
pat = re.compile("([a-z]+)([0-9]+)")
digits = re.compile("[0-9]+")
n = total = 0
for i in range(100000):
    line = "key" + str(i % 977) + " = value" + str(i) + " ; note"
    if pat.search(line):
        n += 1
    t = digits.sub("#", line)
    total += len(t)
print(n, total)
