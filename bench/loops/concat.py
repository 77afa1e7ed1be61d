def main():
    s = ""
    for _ in range(1000000):
        s += "x"
    print(len(s))


main()
