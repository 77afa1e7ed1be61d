import re


def main():
    s = ""
    for _ in range(100000):
        s = re.sub(r"(\d+)-(\d+)-(\d+)", r"\3.\2.\1", "2024-03-01")
    print(s)


main()
