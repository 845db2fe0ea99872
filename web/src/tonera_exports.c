/* libtonera's modules have no code of their own: the exported tonera_*
   functions bring in what they need from the libraries. */
