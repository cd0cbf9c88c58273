"""The Windows installer package: its tables (msitools), then a test stand's
life with it under Wine's msiexec in a fresh prefix: an older package, the
upgrade, a script and the Start-menu entry, a refused downgrade, the uninstall.

Besides what window_tests needs: $TESTBAY_MSI (the build's package)."""

import filecmp
import glob
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))

import window_tests  # noqa: E402
from test_windows_scripts import UNREGISTERED_SCRIPT  # noqa: E402
from wine_prefix import PORT, SERVER, WINE  # noqa: E402

MSI = os.environ.get("TESTBAY_MSI", "")
BUILD_MSI = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "build_msi")
OLDER_VERSION = "1.0.0"
INSTALL_FOLDER = "C:\\Program Files\\Testbay\\"
CLSID = "{6F3C2A91-4B7E-4D2A-9C1F-0A5E8B7D3C21}"
# The automation class below HKLM: each key's default value; {folder} is the program's folder.
REGISTRY = {
    r"Software\Classes\Testbay.Document": "Testba Document",
    r"Software\Classes\Testbay.Document\CLSID": CLSID,
    rf"Software\Classes\CLSID\{CLSID}": "Testba Document",
    rf"Software\Classes\CLSID\{CLSID}\LocalServer32": '"{folder}testbay.exe" -Automation',
    rf"Software\Classes\CLSID\{CLSID}\ProgID": "Testbay.Document",
}
# The start menus of all users and of each user: Wine's installer takes the user's.
START_MENUS = ("ProgramData", os.path.join("users", "*", "AppData", "Roaming"))
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
DOWNGRADE_MESSAGE = "A newer version of Testbay is already installed."
# A Unix exit status keeps the low byte of msiexec's ERROR_INSTALL_FAILURE.
INSTALL_FAILURE_STATUS = 1603 & 0xFF
LED_SCRIPT = """\
Set doc = CreateObject("Testbay.Document")
entered = doc.EnterHardwaretestAtPort("", {port})
doc.GetLedCount n
WScript.Echo entered & " " & n
""".replace("\n", "\r\n")


def expected_registry(folder):
    return {key: value.replace("{folder}", folder) for key, value in REGISTRY.items()}


def msi_rows(package, table):
    """The rows of a table as msiinfo exports it (after its three header lines)."""
    text = subprocess.run(["msiinfo", "export", package, table], check=True, capture_output=True, text=True).stdout
    return [line.split("\t") for line in text.splitlines()[3:]]


def version_of(package):
    return dict(msi_rows(package, "Property"))["ProductVersion"]


@unittest.skipUnless(MSI and shutil.which("msiinfo"), "needs the package and msitools")
class PackageTables(unittest.TestCase):
    def test_the_registry_table_holds_the_automation_class_and_nothing_else(self):
        rows = {(root, key, name, value) for _, root, key, name, value, _ in msi_rows(MSI, "Registry")}
        hklm = "2"
        self.assertEqual(rows, {(hklm, key, "", value) for key, value in expected_registry("[INSTALLDIR]").items()})

    def test_the_package_holds_the_program_its_documents_and_a_start_menu_entry(self):
        self.assertTrue({"File", "Shortcut", "Registry", "Upgrade", "LaunchCondition"}
                        <= set(subprocess.run(["msiinfo", "tables", MSI], check=True, capture_output=True,
                                              text=True).stdout.split()))
        self.assertEqual(version_of(MSI), os.path.basename(MSI).split("-")[1])
        self.assertEqual({(name, component) for _, component, name, *_ in msi_rows(MSI, "File")},
                         {("testbay.exe", "Program"), ("README.txt", "Program"), ("Manual.txt", "Program")})
        self.assertIn(["INSTALLDIR", "ProgramFiles64Folder", "Testbay"], msi_rows(MSI, "Directory"))
        [shortcut] = msi_rows(MSI, "Shortcut")
        self.assertEqual(shortcut[1:6], ["ProgramMenuFolder", "Testbay", "Program", "[#testbay.exe]", ""])
        self.assertEqual(msi_rows(MSI, "LaunchCondition"), [["NOT WIX_DOWNGRADE_DETECTED", DOWNGRADE_MESSAGE]])


@unittest.skipUnless(MSI, "needs the package")
class InstallerUnderWine(window_tests.WindowTestCase):
    """One prefix through the whole story: the tests run in the order of their numbers."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        # No menu entries of the Linux desktop for the Start-menu entry.
        cls.prefix.env["WINEDLLOVERRIDES"] = "winemenubuilder.exe=d"
        cls.work = tempfile.mkdtemp()
        cls.older = os.path.join(cls.work, f"testbay-{OLDER_VERSION}-x64.msi")
        subprocess.run([BUILD_MSI, OLDER_VERSION, SERVER, cls.older], check=True)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)
        super().tearDownClass()

    def wine(self, *arguments, timeout=300):
        """The exit status of a Windows program, with its output."""
        run = subprocess.run([WINE, *arguments], env=self.prefix.env, stdin=subprocess.DEVNULL,
                             capture_output=True, timeout=timeout)
        return run.returncode, run.stdout.decode(errors="replace").replace("\r\n", "\n")

    def registered(self):
        """The default value of each key below the automation class's two keys in HKLM."""
        found = {}
        for root in (r"Software\Classes\Testbay.Document", rf"Software\Classes\CLSID\{CLSID}"):
            status, text = self.wine("reg", "query", "HKLM\\" + root, "/s")
            key = None
            for line in text.splitlines():
                if line.startswith("HKEY_LOCAL_MACHINE\\"):
                    key = line.split("\\", 1)[1]
                elif line.strip().startswith("(Default)"):
                    found[key] = line.split("REG_SZ", 1)[1].strip()
        return found

    def installed_products(self):
        """(name, version) of every product with an uninstall entry named Testbay."""
        _, text = self.wine("reg", "query", UNINSTALL_KEY, "/s")
        entries = []
        for line in text.splitlines():
            fields = line.split(None, 2)
            if line.startswith("HKEY_"):
                entries.append({})
            elif entries and len(fields) == 3 and fields[1] == "REG_SZ":
                entries[-1][fields[0]] = fields[2]
        return [("Testbay", entry.get("DisplayVersion")) for entry in entries if entry.get("DisplayName") == "Testbay"]

    def start_menu_entries(self):
        return sorted(path for menu in START_MENUS for path in glob.glob(
            self.prefix.drive_c(menu, "Microsoft", "Windows", "Start Menu", "Programs", "Testbay.lnk")))

    def program_folder(self, *name):
        return self.prefix.drive_c("Program Files", "Testbay", *name)

    def settings(self):
        """The user's two settings files, each as the test wrote it (or None)."""
        texts = {}
        for name in ("Testbay.ini", "TESTBAY.INI"):
            path = self.config_file(name)
            texts[name] = open(path, newline="").read() if os.path.exists(path) else None
        return texts

    def test_1_the_build_registers_what_the_package_registers(self):
        folder = self.prefix.output(["winepath", "-w", os.path.dirname(os.path.abspath(SERVER))]) + "\\"
        self.prefix.run(SERVER, "-RegServer")
        self.assertEqual(self.registered(), expected_registry(folder))
        self.prefix.run(SERVER, "-UnregServer")
        self.assertEqual(self.registered(), {})

    def test_2_an_older_package_installs_silently(self):
        self.assertEqual(self.wine("msiexec", "/i", self.older, "/qn")[0], 0)
        self.assertEqual(self.installed_products(), [("Testbay", OLDER_VERSION)])

    def test_3_the_package_replaces_the_older_one_and_keeps_the_settings(self):
        self.write_config("[Ports]\nCOM9=\\\\.\\COM5\n")
        self.write_config("[WSTEST]\nBAUDRATE=3\n", name="TESTBAY.INI")
        written = self.settings()
        self.assertEqual(self.wine("msiexec", "/i", MSI, "/qn")[0], 0)
        self.assertEqual(self.installed_products(), [("Testbay", version_of(MSI))])
        self.assertEqual(self.settings(), written)
        self.assertTrue(filecmp.cmp(self.program_folder("testbay.exe"), SERVER, shallow=False))
        for document in ("README.txt", "Manual.txt"):
            self.assertGreater(os.path.getsize(self.program_folder(document)), 1000, document)
        self.assertEqual(self.registered(), expected_registry(INSTALL_FOLDER))

    def test_4_a_script_drives_the_relay_without_registering_the_program(self):
        self.relay()
        self.assertEqual(self.prefix.cscript("leds.vbs", LED_SCRIPT.format(port=PORT)), "True 16")

    def test_5_the_start_menu_entry_starts_the_window(self):
        [entry] = self.start_menu_entries()
        windows_path = self.prefix.output(["winepath", "-w", entry])
        target, _, arguments = self.driver("shortcut", windows_path).partition("\n")
        self.assertEqual((target, arguments), (INSTALL_FOLDER + "testbay.exe", ""))
        program = self.start_window(*arguments.split(), path=target)
        self.driver("close", window_tests.FRAME_TITLE)
        self.assertEqual(program.wait(timeout=30), 0)

    def test_6_an_older_package_is_refused_with_a_message(self):
        install = subprocess.Popen([WINE, "msiexec", "/i", self.older, "/qb"], env=self.prefix.env,
                                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(window_tests.WindowSession.stop, install)
        box_title, box_text, ok = "Install Failed", 0xFFFF, 1  # Wine's title for the launch condition's box
        self.assertEqual(self.driver("text", box_title, box_text), DOWNGRADE_MESSAGE)
        self.driver("press", box_title, ok)
        self.assertEqual(install.wait(timeout=60), INSTALL_FAILURE_STATUS)
        self.assertEqual(self.installed_products(), [("Testbay", version_of(MSI))])

    def test_7_uninstalling_removes_what_the_package_brought_and_keeps_the_settings(self):
        written = self.settings()
        self.assertEqual(self.wine("msiexec", "/x", MSI, "/qn")[0], 0)
        self.assertFalse(os.path.exists(self.program_folder()))
        self.assertEqual(self.start_menu_entries(), [])
        self.assertEqual(self.registered(), {})
        self.assertEqual(self.installed_products(), [])
        self.assertEqual(self.prefix.cscript("unregistered.vbs", UNREGISTERED_SCRIPT), "create 429")
        self.assertEqual(self.settings(), written)


if __name__ == "__main__":
    unittest.main()
