// Filled in by the backend work.
