// placeholder until the conversion commands land
