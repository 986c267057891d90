vocab = "alpha beta gamma delta epsilon zeta eta theta iota kappa lambda mu nu xi omicron pi rho sigma tau upsilon phi chi psi omega".split(" ")
x = 1
counts = {}
for i in range(300000):
    x = (x * 16807) % 2147483647
    w = vocab[x % 24] + str(x % 50)
    counts[w] = counts.get(w, 0) + 1
k = sorted(counts)
print(len(k), counts[k[0]], k[0])
