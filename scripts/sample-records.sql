-- Alarms and access history such as a proxy records in a morning, ending now: rows for the
-- screenshots and for trying the alarm and history pages out.
insert into alarms (source, message, time) values
  ('listen', 'cannot listen on port 8089: Address already in use', strftime('%s', 'now') - 7200),
  ('socks5', 'anonymous client 192.168.1.23 refused', strftime('%s', 'now') - 5400),
  ('http', 'login of user "guest" from 192.168.1.40 refused', strftime('%s', 'now') - 3900),
  ('http', 'request head from 10.0.0.17 too large (65536 bytes)', strftime('%s', 'now') - 2600),
  ('limit', 'connection limit of 512 reached', strftime('%s', 'now') - 1800),
  ('socks5', 'login of user "张伟" from 192.168.1.52 refused', strftime('%s', 'now') - 950),
  ('limit', '37 more alarms in one second not recorded', strftime('%s', 'now') - 300);

with recursive n(i) as (select 0 union all select i + 1 from n where i < 59)
insert into history (user, ip, url, time)
select
  case i % 5 when 0 then 'alice' when 1 then 'bob' when 2 then '张伟' when 3 then 'carol'
             else '' end,
  (192 << 24) | (168 << 16) | (1 << 8) | (20 + i % 7 * 4),
  case i % 6
    when 0 then 'www.example.com:443'
    when 1 then 'http://news.example.org/2026/12/06/proxy-servers-explained.html'
    when 2 then 'api.github.com:443'
    when 3 then 'http://cdn.example.net/static/js/app.' || (1000 + i * 37) || '.js'
    when 4 then 'mirrors.tuna.tsinghua.edu.cn:443'
    else 'http://intranet.local/reports?week=' || (40 + i % 9) || '&format=csv'
  end,
  strftime('%s', 'now') - i * 47
from n;
