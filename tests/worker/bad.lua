local broken = = 1
