/* Never run: the version-text tests only read the version it carries. */
int main(void) { return 0; }
