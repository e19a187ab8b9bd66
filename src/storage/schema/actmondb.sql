-- The activity database (actmondb.sqlite): one row per charged scan, kept for 90 days, and a
-- copy of the time-limit list so the period queries can join both inside one file.
CREATE TABLE IF NOT EXISTS applications(
    date_created TEXT,
    app_name TEXT,
    browser_url TEXT,
    app_type TEXT,
    duration INTEGER,
    origin INTEGER
);
-- The start-up purge of old rows: a range seek that finds nothing costs next to nothing.
CREATE INDEX IF NOT EXISTS applications_date_created ON applications(date_created);
-- The application period query seeks one listed path and one period at a time and reads the
-- durations from the index alone; the purge of unlisted applications seeks by path as well.
CREATE INDEX IF NOT EXISTS applications_app_name ON applications(app_name, origin, date_created, duration);
-- The web-site period query walks the few distinct stored addresses, then seeks each matching
-- address's rows of the period, again without touching the table.
CREATE INDEX IF NOT EXISTS applications_browser_url ON applications(browser_url, date_created, duration);
-- Rows whose duration the program cannot have written (not a whole 32-bit number of seconds):
-- the period queries skip them, and the logger finds them here to report them without reading
-- the table. Normally empty.
CREATE INDEX IF NOT EXISTS applications_odd_duration ON applications(date_created)
    WHERE typeof(duration) NOT IN ('integer', 'null') OR duration NOT BETWEEN -2147483648 AND 2147483647;
CREATE TABLE IF NOT EXISTS applications_list(name TEXT, caption TEXT, active INTEGER);
CREATE TABLE IF NOT EXISTS websites_list(name TEXT, caption TEXT, active INTEGER);
