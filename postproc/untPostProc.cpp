// placeholder until the post-processing window lands
