# Sources of tolvi_core in src/fit, listed by name.
