// The halvernic library: its parts come from the object libraries of the folders beside
// this file (see CMakeLists.txt).
