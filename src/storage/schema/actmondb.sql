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
-- The rows of one hour (the first 13 characters of date_created), for the partial hours at a
-- period's ends, and the start-up purge of old rows: a range seek that finds nothing costs next
-- to nothing. Keyed by the hour rather than the whole text, it is a fifth of the file smaller.
DROP INDEX IF EXISTS applications_date_created;
CREATE INDEX IF NOT EXISTS applications_date_hour ON applications(substr(date_created, 1, 13));
-- The wide indexes the period queries once read go: the totals below answer those queries.
DROP INDEX IF EXISTS applications_app_name;
DROP INDEX IF EXISTS applications_browser_url;
-- Totals of the rows per date (the first 10 characters of date_created), path, address and
-- origin, and the same per hour (the first 13): seconds and row count. A period query reads its
-- whole dates from the first, the whole hours of its first and last date from the second, and
-- only the rows of its first and last hour from the table. Calendar dates and hours rather than
-- accounting days: every period starts and ends on a whole hour boundary or inside one hour, so
-- the hours answer the 04:00 day starts exactly. A key is a prefix of its rows' texts, so a
-- whole date or hour is exactly a range of the texts the period bounds are compared with.
-- Only durations the period queries count (whole 32-bit numbers of seconds) are in the seconds;
-- every row is in the count.
CREATE TABLE IF NOT EXISTS applications_days(
    day TEXT, app_name TEXT, browser_url TEXT, origin INTEGER,
    seconds INTEGER NOT NULL DEFAULT 0, rows INTEGER NOT NULL DEFAULT 0);
CREATE INDEX IF NOT EXISTS applications_days_key ON applications_days(day, app_name, browser_url, origin);
CREATE TABLE IF NOT EXISTS applications_hours(
    hour TEXT, app_name TEXT, browser_url TEXT, origin INTEGER,
    seconds INTEGER NOT NULL DEFAULT 0, rows INTEGER NOT NULL DEFAULT 0);
CREATE INDEX IF NOT EXISTS applications_hours_key ON applications_hours(hour, app_name, browser_url, origin);
-- The triggers keep the totals in the transaction of every insert, delete and update, so a
-- charge and its totals are written together and the purge cuts the totals with the rows.
CREATE TRIGGER IF NOT EXISTS applications_rollup_insert AFTER INSERT ON applications BEGIN
    INSERT INTO applications_days(day, app_name, browser_url, origin)
        SELECT substr(NEW.date_created, 1, 10), NEW.app_name, NEW.browser_url, NEW.origin WHERE NOT EXISTS (
            SELECT 1 FROM applications_days WHERE day IS substr(NEW.date_created, 1, 10)
            AND app_name IS NEW.app_name AND browser_url IS NEW.browser_url AND origin IS NEW.origin);
    UPDATE applications_days SET seconds = seconds + (CASE WHEN typeof(NEW.duration) = 'integer'
        AND NEW.duration BETWEEN -2147483648 AND 2147483647 THEN NEW.duration ELSE 0 END), rows = rows + 1
        WHERE day IS substr(NEW.date_created, 1, 10) AND app_name IS NEW.app_name
        AND browser_url IS NEW.browser_url AND origin IS NEW.origin;
    INSERT INTO applications_hours(hour, app_name, browser_url, origin)
        SELECT substr(NEW.date_created, 1, 13), NEW.app_name, NEW.browser_url, NEW.origin WHERE NOT EXISTS (
            SELECT 1 FROM applications_hours WHERE hour IS substr(NEW.date_created, 1, 13)
            AND app_name IS NEW.app_name AND browser_url IS NEW.browser_url AND origin IS NEW.origin);
    UPDATE applications_hours SET seconds = seconds + (CASE WHEN typeof(NEW.duration) = 'integer'
        AND NEW.duration BETWEEN -2147483648 AND 2147483647 THEN NEW.duration ELSE 0 END), rows = rows + 1
        WHERE hour IS substr(NEW.date_created, 1, 13) AND app_name IS NEW.app_name
        AND browser_url IS NEW.browser_url AND origin IS NEW.origin;
END;
CREATE TRIGGER IF NOT EXISTS applications_rollup_delete AFTER DELETE ON applications BEGIN
    UPDATE applications_days SET seconds = seconds - (CASE WHEN typeof(OLD.duration) = 'integer'
        AND OLD.duration BETWEEN -2147483648 AND 2147483647 THEN OLD.duration ELSE 0 END), rows = rows - 1
        WHERE day IS substr(OLD.date_created, 1, 10) AND app_name IS OLD.app_name
        AND browser_url IS OLD.browser_url AND origin IS OLD.origin;
    DELETE FROM applications_days WHERE rows <= 0 AND day IS substr(OLD.date_created, 1, 10)
        AND app_name IS OLD.app_name AND browser_url IS OLD.browser_url AND origin IS OLD.origin;
    UPDATE applications_hours SET seconds = seconds - (CASE WHEN typeof(OLD.duration) = 'integer'
        AND OLD.duration BETWEEN -2147483648 AND 2147483647 THEN OLD.duration ELSE 0 END), rows = rows - 1
        WHERE hour IS substr(OLD.date_created, 1, 13) AND app_name IS OLD.app_name
        AND browser_url IS OLD.browser_url AND origin IS OLD.origin;
    DELETE FROM applications_hours WHERE rows <= 0 AND hour IS substr(OLD.date_created, 1, 13)
        AND app_name IS OLD.app_name AND browser_url IS OLD.browser_url AND origin IS OLD.origin;
END;
-- A row changed by hand leaves the totals as if it were deleted and inserted again.
CREATE TRIGGER IF NOT EXISTS applications_rollup_update AFTER UPDATE ON applications BEGIN
    UPDATE applications_days SET seconds = seconds - (CASE WHEN typeof(OLD.duration) = 'integer'
        AND OLD.duration BETWEEN -2147483648 AND 2147483647 THEN OLD.duration ELSE 0 END), rows = rows - 1
        WHERE day IS substr(OLD.date_created, 1, 10) AND app_name IS OLD.app_name
        AND browser_url IS OLD.browser_url AND origin IS OLD.origin;
    DELETE FROM applications_days WHERE rows <= 0 AND day IS substr(OLD.date_created, 1, 10)
        AND app_name IS OLD.app_name AND browser_url IS OLD.browser_url AND origin IS OLD.origin;
    UPDATE applications_hours SET seconds = seconds - (CASE WHEN typeof(OLD.duration) = 'integer'
        AND OLD.duration BETWEEN -2147483648 AND 2147483647 THEN OLD.duration ELSE 0 END), rows = rows - 1
        WHERE hour IS substr(OLD.date_created, 1, 13) AND app_name IS OLD.app_name
        AND browser_url IS OLD.browser_url AND origin IS OLD.origin;
    DELETE FROM applications_hours WHERE rows <= 0 AND hour IS substr(OLD.date_created, 1, 13)
        AND app_name IS OLD.app_name AND browser_url IS OLD.browser_url AND origin IS OLD.origin;
    INSERT INTO applications_days(day, app_name, browser_url, origin)
        SELECT substr(NEW.date_created, 1, 10), NEW.app_name, NEW.browser_url, NEW.origin WHERE NOT EXISTS (
            SELECT 1 FROM applications_days WHERE day IS substr(NEW.date_created, 1, 10)
            AND app_name IS NEW.app_name AND browser_url IS NEW.browser_url AND origin IS NEW.origin);
    UPDATE applications_days SET seconds = seconds + (CASE WHEN typeof(NEW.duration) = 'integer'
        AND NEW.duration BETWEEN -2147483648 AND 2147483647 THEN NEW.duration ELSE 0 END), rows = rows + 1
        WHERE day IS substr(NEW.date_created, 1, 10) AND app_name IS NEW.app_name
        AND browser_url IS NEW.browser_url AND origin IS NEW.origin;
    INSERT INTO applications_hours(hour, app_name, browser_url, origin)
        SELECT substr(NEW.date_created, 1, 13), NEW.app_name, NEW.browser_url, NEW.origin WHERE NOT EXISTS (
            SELECT 1 FROM applications_hours WHERE hour IS substr(NEW.date_created, 1, 13)
            AND app_name IS NEW.app_name AND browser_url IS NEW.browser_url AND origin IS NEW.origin);
    UPDATE applications_hours SET seconds = seconds + (CASE WHEN typeof(NEW.duration) = 'integer'
        AND NEW.duration BETWEEN -2147483648 AND 2147483647 THEN NEW.duration ELSE 0 END), rows = rows + 1
        WHERE hour IS substr(NEW.date_created, 1, 13) AND app_name IS NEW.app_name
        AND browser_url IS NEW.browser_url AND origin IS NEW.origin;
END;
-- Rows whose duration the program cannot have written (not a whole 32-bit number of seconds):
-- the period queries skip them, and the logger finds them here to report them without reading
-- the table. Normally empty.
CREATE INDEX IF NOT EXISTS applications_odd_duration ON applications(date_created)
    WHERE typeof(duration) NOT IN ('integer', 'null') OR duration NOT BETWEEN -2147483648 AND 2147483647;
-- Rows whose time was stored with another separator than ":" (a regional setting once leaked into
-- the stored text, so "19.59.28" sorted before "19:38:06"): mended at the start, found here
-- without reading the table. Normally empty.
CREATE INDEX IF NOT EXISTS applications_odd_time ON applications(date_created)
    WHERE length(date_created) >= 19 AND (substr(date_created, 14, 1) <> ':' OR substr(date_created, 17, 1) <> ':');
CREATE TABLE IF NOT EXISTS applications_list(name TEXT, caption TEXT, active INTEGER);
CREATE TABLE IF NOT EXISTS websites_list(name TEXT, caption TEXT, active INTEGER);
-- Whenever this script runs (a new file, or one that lacks any of the above), the totals are
-- made again from the rows, inside the same transaction.
DELETE FROM applications_hours;
INSERT INTO applications_hours(hour, app_name, browser_url, origin, seconds, rows)
    SELECT substr(a.date_created, 1, 13), a.app_name, a.browser_url, a.origin,
        SUM(CASE WHEN typeof(a.duration) = 'integer' AND a.duration BETWEEN -2147483648 AND 2147483647
            THEN a.duration ELSE 0 END), COUNT(*)
    FROM applications a GROUP BY 1, 2, 3, 4;
-- A date is a prefix of its hours, so the days come from the hours instead of the rows again.
DELETE FROM applications_days;
INSERT INTO applications_days(day, app_name, browser_url, origin, seconds, rows)
    SELECT substr(h.hour, 1, 10), h.app_name, h.browser_url, h.origin, SUM(h.seconds), SUM(h.rows)
    FROM applications_hours h GROUP BY 1, 2, 3, 4;
