"""The layering checker run on small trees built for each case."""

import os
import subprocess
import sys
import tempfile
import unittest

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts",
                      "check_layering.py")
FOLDERS = ["util", "platform", "image", "variables", "output", "files", "vm", "network",
           "database", "libraries", "server", "app"]


class LayeringCheckerTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.root = self.tmp.name
        for folder in FOLDERS:
            os.makedirs(os.path.join(self.root, "src", folder))

    def tearDown(self):
        self.tmp.cleanup()

    def write(self, path, text):
        full = os.path.join(self.root, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "w") as f:
            f.write(text)

    def run_checker(self):
        done = subprocess.run([sys.executable, SCRIPT, "--root", self.root],
                              capture_output=True, text=True)
        return done.returncode, done.stdout.splitlines()

    def test_downward_and_local_includes_pass(self):
        self.write("src/app/a.cc", '#include "app/a.h"\n#include "server/s.h"\n#include "util/u.h"\n')
        self.write("src/database/d.cc", '#include "network/n.h"\n#include "vm/v.h"\n')
        self.write("src/platform/p.cc", '#include <unistd.h>\n#include "util/u.h"\n'
                   "int f() { return getpid(); }\n")
        self.write("src/vm/v.cc", '#include "v.h"\n#include <cstdint>\n#include <mpdecimal.h>\n'
                   "// clock_gettime(CLOCK_REALTIME, ...) is the platform's; a comment may say so\n")
        self.write("apps/orin/main.cc", '#include "app/a.h"\n#include <filesystem>\n')
        self.assertEqual(self.run_checker(), (0, []))

    def test_upward_includes_are_named_with_file_and_line(self):
        self.write("src/util/u.cc", '#include "util/u.h"\n\n#include "platform/p.h"\n')
        self.write("src/image/i.h", '#include "variables/v.h"\n')
        self.write("src/output/o.cc", '#include "files/f.h"\n')
        self.write("src/server/s.cc", '#include "app/a.h"\n')
        code, lines = self.run_checker()
        self.assertEqual(code, 1)
        self.assertEqual(lines, [
            'src/image/i.h:1: "variables/v.h" points upward (image is below variables)',
            'src/output/o.cc:1: "files/f.h" points upward (output is below files)',
            'src/server/s.cc:1: "app/a.h" points upward (server is below app)',
            'src/util/u.cc:3: "platform/p.h" points upward (util is below platform)',
        ])

    def test_system_headers_and_calls_outside_platform(self):
        self.write("src/files/f.cc", "#include <sys/stat.h>\n#include <cstdio>\n")
        self.write("src/vm/v.cc", "#include <ctime>\nvoid f() {\n"
                   "  timespec t; clock_gettime(CLOCK_MONOTONIC, &t);\n}\n")
        self.write("tools/t.cc", "#include <csignal>\n")
        self.write("apps/orin/r.cc", "/* a block\n   comment: localtime_r( */\nint x;\n")
        code, lines = self.run_checker()
        self.assertEqual(code, 1)
        self.assertEqual(lines, [
            "src/files/f.cc:1: <sys/stat.h> is a system header; only src/platform/ may include it",
            "src/vm/v.cc:3: clock_gettime belongs behind src/platform/",
            "tools/t.cc:1: <csignal> is a system header; only src/platform/ may include it",
        ])

    def test_cycles_between_services_and_unplaced_folders(self):
        self.write("src/network/n.cc", '#include "libraries/l.h"\n')
        self.write("src/libraries/l.cc", '#include "database/d.h"\n')
        self.write("src/database/d.cc", '#include "network/n.h"\n')
        os.makedirs(os.path.join(self.root, "src", "mail"))
        code, lines = self.run_checker()
        self.assertEqual(code, 1)
        self.assertEqual(len(lines), 2, lines)
        self.assertTrue(lines[0].startswith("src/mail: folder has no place"), lines)
        self.assertEqual(lines[1], "src/libraries/l.cc:1: include cycle between folders: "
                         "database -> network -> libraries -> database")


if __name__ == "__main__":
    unittest.main()
