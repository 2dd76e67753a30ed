#!/usr/bin/env python3
"""The layering check fails on what it is there to catch: each case plants one fault in a copy of src/."""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
CHECK = os.path.join(ROOT, "scripts", "check_layers.py")


def run_check(src):
    result = subprocess.run([sys.executable, CHECK, src], capture_output=True, text=True)
    return result.returncode, result.stdout


class PlantedFaults(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.src = os.path.join(self.folder.name, "src")
        shutil.copytree(os.path.join(ROOT, "src"), self.src)

    def tearDown(self):
        self.folder.cleanup()

    def plant(self, path, line):
        with open(os.path.join(self.src, path), "a", encoding="utf-8") as f:
            f.write("\n" + line + "\n")

    def assertFails(self, expected):
        status, output = run_check(self.src)
        self.assertEqual(status, 1, output)
        self.assertIn(expected, output)

    def test_the_copy_passes(self):
        status, output = run_check(self.src)
        self.assertEqual(status, 0, output)

    def test_faults(self):
        cases = [
            ("core/AppInfo.cpp", '#include "db/DataTank.h"', "core/AppInfo.cpp:", "core includes db/DataTank.h"),
            ("db/DataTank.cpp", '#include "app/mdlMain.h"', "db/DataTank.cpp:", "db includes app/mdlMain.h"),
            # modules of one layer do not include each other
            ("lists/ListTable.cpp", '#include "messages/MessageStore.h"', "lists/ListTable.cpp:", "of messages"),
            ("lists/ListTable.cpp", '#include "lists/ui/frmList.h"', "lists/ListTable.cpp:", "window header"),
            ("core/ui/frmOpenDelete.cpp", '#include "lists/ui/frmList.h"', "core/ui/frmOpenDelete.cpp:", "of lists"),
            ("lists/ui/frmList.cpp", "#include <sqlite3.h>", "lists/ui/frmList.cpp:", "SQL header sqlite3.h"),
            ("lists/ui/frmList.cpp", '#include "db/Database.h"', "lists/ui/frmList.cpp:", "SQL header db/Database.h"),
            ("messages/ui/frmMessageEdit.cpp", 'const char* q = "SELECT * FROM Message";',
             "messages/ui/frmMessageEdit.cpp:", "SQL statement text"),
            ("messages/ui/frmMessageEdit.cpp", 'const char* q = "DELETE FROM Message";',
             "messages/ui/frmMessageEdit.cpp:", "SQL statement text"),
            ("lists/ui/frmList.cpp", "auto d = CentralDatabase::open();", "lists/ui/frmList.cpp:", "opens a database"),
        ]
        for path, line, where, text in cases:
            with self.subTest(path=path, line=line):
                original = open(os.path.join(self.src, path), encoding="utf-8").read()
                self.plant(path, line)
                self.assertFails(where)
                self.assertFails(text)
                with open(os.path.join(self.src, path), "w", encoding="utf-8") as f:
                    f.write(original)

    def test_a_circle_across_two_modules_is_reported(self):
        # lists/ListOperations.cpp includes db/DataTank.h; this closes the circle.
        self.plant("db/DataTank.h", '#include "lists/ListOperations.h"')
        self.assertFails("include circle")
        self.assertFails("spans db, lists")


if __name__ == "__main__":
    unittest.main()
