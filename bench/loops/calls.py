def add(a, b):
    return a + b


def main():
    t = 0
    for _ in range(1000000):
        t = add(t, 1)
    print(t)


main()
