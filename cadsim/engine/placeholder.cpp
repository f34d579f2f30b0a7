// Replaced by the engine sources.
namespace cadsim { int placeholder = 0; }
