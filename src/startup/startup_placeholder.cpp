// Start-up and the monitoring loop come here.
