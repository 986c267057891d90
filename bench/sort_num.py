a = []
x = 42
for i in range(200000):
    x = (x * 16807) % 2147483647
    a.append(x)
a.sort()
print(a[0], a[100000], a[199999])
