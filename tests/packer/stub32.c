/* A stand-in 32-bit stub: packed like the real one, so the PE32 side of the
   packer is read back too (the real i686 installer cannot run here). */
int main(void) { return 0; }
