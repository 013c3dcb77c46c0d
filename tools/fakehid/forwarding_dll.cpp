// setupapi.dll and hid.dll hold no code of their own: their .def files
// forward every export to veldorinsim.dll, where the simulated readers and
// all their state live. One module keeps one view of which handle belongs
// to which reader, with no private channel between the two stand-ins, and
// a program picks them up unchanged, by their system names.
