"""Synthetic mail-server message stores for the conversion benchmarks."""
