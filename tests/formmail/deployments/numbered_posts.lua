-- wrk script of the scale-out test: every post is a generated page's post carrying a number
-- of its own ("nr" = server, thread and count), so that each stored mail names the request it
-- came from. Each thread counts its answers; done() prints the sums.

wrk.method = "POST"
wrk.path = "/cgi-bin/sendmailform.cgi"
wrk.headers["Content-Type"] = "application/x-www-form-urlencoded"
local form = "vorname=J%FCrgen+Gro%DF&ort=M%FCnchen&B1=Abschicken&required=vorname"
  .. "&data_order=vorname%2Cort%2Cnr&submit_to=info%40example.org&form_id=Last"

local threads = {}
local created = 0

function setup(thread)
  created = created + 1
  thread:set("number", created)
  table.insert(threads, thread)
end

function init(args)
  server = args[1] or "server"
  count = 0
  successes = 0
  others = 0
end

function request()
  count = count + 1
  return wrk.format(nil, nil, nil, form .. "&nr=" .. server .. "-" .. number .. "-" .. count)
end

function response(status, headers, body)
  if status == 200 then
    successes = successes + 1
  else
    others = others + 1
  end
end

function done(summary, latency, requests)
  local ok, bad = 0, 0
  for _, thread in ipairs(threads) do
    ok = ok + thread:get("successes")
    bad = bad + thread:get("others")
  end
  io.write(string.format("success answers: %d\nother answers: %d\n", ok, bad))
end
