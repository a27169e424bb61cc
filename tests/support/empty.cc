// Keeps the support library non-empty before any shared fixture exists.
