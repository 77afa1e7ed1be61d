def main():
    t = 0
    for _ in range(1000000):
        t = t + len("hello")
    print(t)


main()
