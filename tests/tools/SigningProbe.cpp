// A program for the signing test to sign; what it does does not matter.
int main() { return 0; }
