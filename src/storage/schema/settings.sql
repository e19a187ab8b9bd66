-- The settings database (settings.sqlite). The program relies on these tables and columns;
-- every value of the settings table is text. The installation ships this schema without rows.
CREATE TABLE IF NOT EXISTS settings(name TEXT, value TEXT);
CREATE TABLE IF NOT EXISTS reminders(text TEXT, reminder_type TEXT);
CREATE TABLE IF NOT EXISTS applications_list(name TEXT, caption TEXT, active INTEGER);
CREATE TABLE IF NOT EXISTS websites_list(name TEXT, caption TEXT, active INTEGER);
