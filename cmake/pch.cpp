// The precompiled headers' own source: it compiles them, and nothing else.
