"""The package's version is the library's: the one in the project() line of the
repository's CMakeLists.txt or, when building from an sdist, the one the sdist
was made with (its PKG-INFO). The build writes it into qvn/_version.py."""

import re
from pathlib import Path

from setuptools import setup
from setuptools.command.build_py import build_py

HERE = Path(__file__).resolve().parent


def library_version() -> str:
    sdist_info = HERE / "PKG-INFO"
    if sdist_info.is_file():
        source, pattern = sdist_info, r"^Version: (\S+)$"
    else:
        source, pattern = HERE.parents[1] / "CMakeLists.txt", r"^project\(qvn VERSION (\S+)"
    found = re.search(pattern, source.read_text(encoding="utf-8"), re.MULTILINE)
    if not found:
        raise SystemExit(f"no version of qvn in {source}")
    return found.group(1)


VERSION = library_version()


class BuildPy(build_py):
    """Adds qvn/_version.py to the built package."""

    def run(self) -> None:
        super().run()
        target = Path(self.build_lib, "qvn", "_version.py")
        target.write_text(f'__version__ = "{VERSION}"  # written by setup.py\n', encoding="utf-8")


setup(version=VERSION, cmdclass={"build_py": BuildPy})
