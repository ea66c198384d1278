"""The conversion benchmark: convert a store, time baselines, check the result."""
