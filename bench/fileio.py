import os
with open("/tmp/ruvo-bench-fileio.txt", "w") as f:
    for i in range(200000):
        f.write("line number " + str(i) + "\n")
n = nbytes = 0
with open("/tmp/ruvo-bench-fileio.txt") as f:
    for line in f:
        n += 1
        nbytes += len(line)
os.remove("/tmp/ruvo-bench-fileio.txt")
print(n, nbytes)
