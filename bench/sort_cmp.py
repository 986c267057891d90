import functools
def desc(x, y):
    return (y > x) - (y < x)
a = []
x = 7
for i in range(50000):
    x = (x * 16807) % 2147483647
    a.append(x % 100000)
a.sort(key=functools.cmp_to_key(desc))
print(a[0], a[25000], a[49999])
