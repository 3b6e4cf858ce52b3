-- The demo database that scripts/run and scripts/screenshots load into their throwaway server:
-- names, cities and product titles in mixed and messy letter case, a few NULLs, one table of
-- more than 101 rows and one table in a second schema.

-- The first table created is the first one listed, so the main window opens on it.
CREATE TABLE customers (
    full_name   text,
    city        varchar(60),
    email       text,
    customer_no integer PRIMARY KEY,
    joined      date
);

INSERT INTO customers (full_name, city, email, customer_no, joined) VALUES
    ('jOHN o''neil',           'NEW YORK',        'John.ONeil@example.com',   1001, '2019-03-14'),
    ('MARY-KATE o''BRIEN',     'dublin',          'mk.obrien@example.ie',     1002, '2020-11-02'),
    ('ronald mcdonald',        'san FRANCISCO',   NULL,                       1003, '2018-07-21'),
    ('élodie DUPONT',          'saint-étienne',   'elodie@example.fr',        1004, '2021-01-30'),
    ('ÅSA LINDSTRÖM',          'göteborg',        'asa.l@example.se',         1005, '2017-05-09'),
    ('josé maría garcía',      'MÁLAGA',          'jm.garcia@example.es',     1006, '2022-08-17'),
    ('PIETER VAN DER BERG',    'the hague',       'p.vdberg@example.nl',      1007, '2016-12-01'),
    ('anne-marie st. claire',  'QUEBEC city',     'amsc@example.ca',          1008, '2023-02-11'),
    (NULL,                     'london',          'unknown@example.co.uk',    1009, NULL),
    ('dr. EMILY  chen',        'hong kong',       'emily.chen@example.hk',    1010, '2020-04-05'),
    ('o''reilly, SEAN',        'CORK',            'sean@example.ie',          1011, '2019-09-23'),
    ('li wei',                 NULL,              'li.wei@example.cn',        1012, '2024-06-30');

CREATE TABLE cities (
    name       text,
    country    text,
    region     text,
    population integer
);

INSERT INTO cities (name, country, region, population) VALUES
    ('NEW YORK',            'united states',   'NEW york state',        8336817),
    ('san francisco',       'UNITED STATES',   'california',             808437),
    ('rio de JANEIRO',      'brazil',          'RIO DE JANEIRO state',  6211423),
    ('st. john''s',         'canada',          'newfoundland and LABRADOR', 110525),
    ('FRANKFURT AM MAIN',   'germany',         'hesse',                  773068),
    ('los angeles',         'united STATES',   'CALIFORNIA',            3898747),
    ('kuala lumpur',        'MALAYSIA',        'federal territory',     1982112),
    ('ST. PETERSBURG',      'russia',          'northwestern',          5384342),
    ('buenos aires',        'ARGENTINA',       NULL,                    3121707),
    ('stratford-upon-avon', 'united kingdom',  'WARWICKSHIRE',            30495),
    ('reykjavík',           'ICELAND',         'capital region',         139875),
    ('ZÜRICH',              'switzerland',     'canton of zürich',       421878);

-- More than 101 rows, so the preview shows only its first 101 values: every variant, material
-- and item (6 x 6 x 6 = 216 titles), each written in one of five messy ways.
CREATE TABLE products (
    title    text,
    category text,
    sku      varchar(20),
    price    numeric(8, 2)
);

INSERT INTO products (title, category, sku, price)
SELECT CASE
           WHEN n % 53 = 0 THEN NULL
           WHEN n % 5 = 0 THEN plain
           WHEN n % 5 = 1 THEN upper(plain)
           WHEN n % 5 = 2 THEN lower(plain)
           WHEN n % 5 = 3 THEN translate(plain, 'aeiouAEIOU', 'AEIOUaeiou')
           ELSE initcap(plain)
       END,
       (ARRAY['kitchen', 'OFFICE', 'home & garden', 'Outdoor GEAR'])[1 + n % 4],
       'SKU-' || lpad(n::text, 4, '0'),
       round((4.5 + (n * 37) % 120 + (n % 100) / 100.0)::numeric, 2)
FROM (
    SELECT row_number() OVER (ORDER BY v.ord, m.ord, i.ord) AS n,
           v.word || ' ' || m.word || ' ' || i.word AS plain
    FROM unnest(ARRAY['small', 'Large', 'XL', 'family size', 'travel', 'deluxe'])
             WITH ORDINALITY AS v(word, ord)
    CROSS JOIN unnest(ARRAY['stainless steel', 'bamboo', 'recycled PAPER', 'cast IRON',
                            'ceramic', 'organic cotton'])
             WITH ORDINALITY AS m(word, ord)
    CROSS JOIN unnest(ARRAY['WATER bottle', 'cutting board', 'notebook', 'frying pan',
                            'coffee mug', 'tea towel'])
             WITH ORDINALITY AS i(word, ord)
) AS titles;

-- A second schema: its table is listed as "archive.customers_2019".
CREATE SCHEMA archive;

CREATE TABLE archive.customers_2019 (
    full_name text,
    city      text,
    notes     text
);

INSERT INTO archive.customers_2019 (full_name, city, notes) VALUES
    ('HEINRICH MÜLLER',     'MUNICH',          'moved to BERLIN in 2020'),
    ('siobhán ní bhriain',  'galway',          NULL),
    ('jean-luc PICARD',     'la barre',        'PREFERS tea. earl grey, hot.'),
    ('McKENZIE, ROSS',      'edinburgh',       'account CLOSED'),
    ('ana de la cruz',      'SANTO DOMINGO',   'wholesale customer');
