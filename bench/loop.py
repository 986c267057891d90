s = 0
i = 0
while i < 3000000:
    s = (s + i * i) % 1000003
    i += 1
print(s)
