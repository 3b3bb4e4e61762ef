/* Returns 0 when the host can execute a program built with this build's flags. */
int main(void) { return 0; }
