"""The package's version is the library's: the one in the project() line of the
repository's CMakeLists.txt or, when building from an sdist, the one the sdist
was made with (its PKG-INFO). The build writes it into qvn/_version.py."""

import re
import sys
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


def require_wheel_support() -> None:
    """Without build isolation pip builds with what this Python has; setuptools
    before 70.1 makes wheels only with the separate wheel package, and failed
    with nothing but "invalid command 'bdist_wheel'"."""
    if not {"bdist_wheel", "dist_info"} & set(sys.argv):
        return
    try:
        import wheel  # noqa: F401
    except ImportError:
        try:
            from setuptools.command import bdist_wheel  # noqa: F401  (setuptools 70.1+)
        except ImportError:
            raise SystemExit(
                "qvn: building the package needs the 'wheel' package for this Python's "
                "setuptools: on Debian or Ubuntu install python3-wheel (and use that Python), "
                "elsewhere 'pip install wheel', or leave out --no-build-isolation") from None


require_wheel_support()
VERSION = library_version()


class BuildPy(build_py):
    """Adds qvn/_version.py to the built package."""

    def run(self) -> None:
        super().run()
        target = Path(self.build_lib, "qvn", "_version.py")
        target.write_text(f'__version__ = "{VERSION}"  # written by setup.py\n', encoding="utf-8")


setup(version=VERSION, cmdclass={"build_py": BuildPy})
