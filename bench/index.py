parts = []
for i in range(200000):
    parts.append("w" + str(i * 7919 % 100003))
text = " ".join(parts)
needles = ["w4242 ", "w99999 ", "w1 ", "zz", "w12345 w"]
found = 0
last = 0
for r in range(20):
    for n in needles:
        p = text.find(n)
        while p >= 0:
            found += 1
            last = p
            p = text.find(n, p + 1)
print(len(text), found, last)
