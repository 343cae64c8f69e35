# Sources of tolvi_core in src/fourier, listed by name.
