// The job entry window comes here.
