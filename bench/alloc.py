keep = []
s = 0
for i in range(300000):
    p = [i, i + 1, [i]]
    s += p[1] - p[0] + p[2][0] % 2
    if i % 1000 == 0:
        keep.append(p)
print(s, len(keep))
