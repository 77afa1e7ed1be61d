# Build a 10,000-element array a[i] = i and sum it; 100 rounds, each a new
# call with a new dictionary (keys 1..10000, as the other languages index).
def round_once():
    a = {}
    i = 1
    while i <= 10000:
        a[i] = i
        i = i + 1
    s = 0
    i = 1
    while i <= 10000:
        s = s + a[i]
        i = i + 1
    return s


def main():
    t = 0
    for _ in range(100):
        t = round_once()
    print(t)


main()
