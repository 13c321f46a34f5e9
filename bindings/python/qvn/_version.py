# The library's version (project() in CMakeLists.txt; tests/test_package.py checks it).
__version__ = "1.0.0"
