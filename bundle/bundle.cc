// The loadable bundle has no sources of its own: it is the whole plug-in library linked into one
// shared module, whose host symbols the loading application provides.
