def main():
    # in a function: CPython appends in place only to a local that nothing else holds
    s = ""
    for i in range(500000):
        s += "ab"
    print(len(s))


main()
